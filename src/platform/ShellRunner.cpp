#include "ShellRunner.h"

#include <QProcess>

namespace {
#if defined(Q_OS_MACOS)
const QString shellPath = QStringLiteral("/bin/zsh");
#else
const QString shellPath = QStringLiteral("/bin/sh");
#endif
} // namespace

ProcessResult runProgram(const QString &program, const QStringList &arguments, int timeoutMs)
{
    ProcessResult result;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(timeoutMs))
        return result;
    result.started = true;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
    } else if (process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    }
    result.output = QString::fromUtf8(process.readAll());
    return result;
}

QString runShellCommand(const QString &command)
{
    return runProgram(shellPath, {QStringLiteral("-c"), command}).output;
}

QString shellQuote(const QString &word)
{
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}
