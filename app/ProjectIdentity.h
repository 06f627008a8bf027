#pragma once

class TProject;

// Gives the project information component the program's identity as
// designed: version, build, log, notices and file information.
void DescribeProject(TProject& project);
