#include <QCoreApplication>

int runWaitTests(int argc, char** argv);
int runHandshakeTests(int argc, char** argv);
int runXmodemSenderTests(int argc, char** argv);
int runLoadSequenceTests(int argc, char** argv);

// One program for the transfer; each group of cases is its own test class.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int failed = 0;
    failed += runWaitTests(argc, argv);
    failed += runHandshakeTests(argc, argv);
    failed += runXmodemSenderTests(argc, argv);
    failed += runLoadSequenceTests(argc, argv);
    return failed == 0 ? 0 : 1;
}
