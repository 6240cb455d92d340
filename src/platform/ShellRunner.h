#pragma once

#include <QString>
#include <QStringList>

struct ProcessResult {
    QString output;      // standard output and standard error, merged, decoded as UTF-8
    int exitCode = -1;   // -1 when the program could not start, crashed or timed out
    bool started = false;
};

// Runs a program and waits for it, blocking the calling thread. Output and errors share one
// channel and there is no standard input. Bytes that are not UTF-8 are replaced, never fatal.
// A program that hangs is killed after timeoutMs so the window never freezes for good.
ProcessResult runProgram(const QString &program, const QStringList &arguments, int timeoutMs = 30000);

// Runs a command line through the user's shell ("-c") and returns what it printed.
// Its exit status is not looked at: callers verify the effect themselves.
QString runShellCommand(const QString &command);

// Quotes one word for a POSIX shell command line.
QString shellQuote(const QString &word);
