// The sanitizers' run-time options of a sanitizer build, compiled into each of
// its programs so that they hold however the program is started: by ctest, by
// a test that starts the program, or by hand.
//
// The web engine is not built with the sanitizers: its own allocations are not
// ours to check for leaks, and its sized deletes trip the type-mismatch check.
// Every other check stays on, and undefined behaviour stops the program.
// Options in the environment still win, as they are read afterwards.

extern "C" const char* __asan_default_options()
{
    return "detect_leaks=0:new_delete_type_mismatch=0:alloc_dealloc_mismatch=0";
}

extern "C" const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}
