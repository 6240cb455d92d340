#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

// Installed applications and a desktop for the application blocker's tests: desktop entries
// in a folder that becomes XDG_DATA_DIRS, and the private X server with openbox that the
// x11_session fixture started.
namespace DesktopFixture {

inline const QString blockable = QStringLiteral("Blockable Test");
inline const QString other = QStringLiteral("Other Test");
// Their desktop-file ids, the key the blocker keeps.
inline const QString blockableID = QStringLiteral("nimbrel-blockable");
inline const QString otherID = QStringLiteral("nimbrel-other");

// Writes the entries below folder (once per process, before anything reads desktop entries):
// "Blockable Test" (the test application), "Other Test" (a copy of it with its own window
// class), "Launched Test" (started through env), a NoDisplay and a Hidden entry, and ours.
void install(const QString &folder);
// The copy of the test application behind "Other Test".
QString otherProgram(const QString &folder);

// Points DISPLAY at the private X server; returns why there is none, empty when there is.
QString useX11();

// The test application, started and counting the close requests it received.
class RunningApp
{
public:
    explicit RunningApp(const QString &program, const QStringList &arguments = {});
    ~RunningApp();
    QProcess &process() { return m_process; }
    qint64 pid() const { return m_process.processId(); }
    bool waitFor(const QString &line);
    int closeRequests();
    // Milliseconds from its activation to the first close request.
    double firstCloseAfterMs();

private:
    void read();
    QProcess m_process;
    QStringList m_lines;
};

} // namespace DesktopFixture
