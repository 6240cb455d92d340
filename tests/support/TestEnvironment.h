#pragma once

#include <QString>
#include <QTemporaryDir>

// A clean world for one test case: its own HOME and XDG folders, the command-line fakes first
// on PATH, the firmware's model name read from dmi/product_name below home() (absent until a
// test writes it), and every process-wide instance (preferences, notifications, DNS
// configurator, clock, alert presenter, server client, log sink) back to a fresh state.
class TestEnvironment
{
public:
    TestEnvironment();
    ~TestEnvironment();

    QString home() const { return m_dir.path(); }
    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    // State folder for the fake command-line tools (created empty).
    QString fakeState() const;
    // Writes a file below the temporary folder, creating its folders.
    void writeFile(const QString &relative, const QByteArray &contents) const;
    QString readFile(const QString &relative) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};
