#include "DesktopFixture.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace DesktopFixture {

namespace {
void writeEntry(const QString &folder, const QString &id, const QString &body)
{
    QDir().mkpath(folder + QStringLiteral("/applications"));
    QFile file(folder + QStringLiteral("/applications/") + id + QStringLiteral(".desktop"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\n" + body.toUtf8());
}
} // namespace

QString otherProgram(const QString &folder)
{
    return folder + QStringLiteral("/bin/other-app");
}

void install(const QString &folder)
{
    const QString app = QStringLiteral(BLOCKABLE_APP);
    QDir().mkpath(folder + QStringLiteral("/bin"));
    QFile::copy(app, otherProgram(folder));
    QFile::setPermissions(otherProgram(folder), QFile::permissions(app));
    QFile icon(folder + QStringLiteral("/other.svg"));
    if (icon.open(QIODevice::WriteOnly))
        icon.write("<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16'><circle cx='8' cy='8' r='7' fill='#4a8'/></svg>");
    writeEntry(folder, QStringLiteral("nimbrel-blockable"),
               QStringLiteral("Name=Blockable Test\nExec=%1\nIcon=utilities-terminal\n").arg(app));
    writeEntry(folder, QStringLiteral("nimbrel-other"),
               QStringLiteral("Name=Other Test\nExec=%1 --class OtherClass\nIcon=%2/other.svg\nStartupWMClass=OtherClass\n")
                   .arg(otherProgram(folder), folder));
    writeEntry(folder, QStringLiteral("nimbrel-launched"), QStringLiteral("Name=Launched Test\nExec=env A=1 %1\n").arg(app));
    writeEntry(folder, QStringLiteral("nimbrel-nodisplay"), QStringLiteral("Name=Not Shown\nExec=%1\nNoDisplay=true\n").arg(app));
    writeEntry(folder, QStringLiteral("nimbrel-hidden"), QStringLiteral("Name=Deleted\nExec=%1\nHidden=true\n").arg(app));
    writeEntry(folder, QStringLiteral("com.mac.nimbrel"), QStringLiteral("Name=Nimbrel\nExec=/usr/bin/nimbrel\n"));
    qputenv("XDG_DATA_DIRS", folder.toUtf8());
}

QString useX11()
{
    const QString state = QStringLiteral(X11_SESSION_STATE);
    QFile missing(state + QStringLiteral("/missing"));
    if (missing.open(QIODevice::ReadOnly))
        return QString::fromUtf8(missing.readAll()).trimmed();
    QFile display(state + QStringLiteral("/display"));
    if (!display.open(QIODevice::ReadOnly))
        return QStringLiteral("the x11_session fixture did not run (run the test through ctest)");
    qputenv("DISPLAY", ":" + display.readAll().trimmed());
    return {};
}

RunningApp::RunningApp(const QString &program, const QStringList &arguments)
{
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process, [this] { read(); });
    m_process.start(program, arguments);
}

RunningApp::~RunningApp()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

void RunningApp::read()
{
    while (m_process.canReadLine())
        m_lines << QString::fromUtf8(m_process.readLine()).trimmed();
}

bool RunningApp::waitFor(const QString &line)
{
    return QTest::qWaitFor([&] {
        read();
        return m_lines.contains(line);
    }, 5000);
}

int RunningApp::closeRequests()
{
    read();
    return int(std::count_if(m_lines.cbegin(), m_lines.cend(),
                             [](const QString &l) { return l.startsWith(QLatin1String("close-request")); }));
}

double RunningApp::firstCloseAfterMs()
{
    read();
    for (const QString &line : std::as_const(m_lines)) {
        if (line.startsWith(QLatin1String("close-request ")))
            return line.mid(14).toDouble();
    }
    return -1;
}

} // namespace DesktopFixture
