// A window with nothing but a plain text editor: the cost of an idle editor
// with a blinking caret, which the idle measurement compares the program with.

#include <QApplication>
#include <QPlainTextEdit>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QPlainTextEdit editor;
    editor.setWindowTitle(QStringLiteral("Plain editor"));
    editor.setPlainText(QStringLiteral("x = \\frac{-b \\pm \\sqrt{b^2-4ac}}{2a}"));
    editor.resize(640, 480);
    editor.show();
    return application.exec();
}
