#include "AppIdentity.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>

#include <cstring>
#include <elf.h>

namespace AppIdentity {

namespace {
// systemd escapes every byte outside its unit-name alphabet (and a dash in an id) as \xNN.
QString unescaped(const QString &part)
{
    if (!part.contains(QLatin1String("\\x")))
        return part;
    QByteArray out;
    const QByteArray in = part.toUtf8();
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in.at(i) == '\\' && i + 3 < in.size() && in.at(i + 1) == 'x') {
            bool ok = false;
            const int byte = in.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out.append(char(byte));
                i += 3;
                continue;
            }
        }
        out.append(in.at(i));
    }
    return QString::fromUtf8(out);
}

void addUnique(QStringList &ids, const QString &id)
{
    if (!id.isEmpty() && !ids.contains(id))
        ids.append(id);
}

// The middle of an app unit, `[<launcher>-]<id>`, as ids: with the launcher dropped first
// (the usual form), then whole (a desktop that names no launcher).
void idsOfMiddle(const QString &middle, QStringList &ids)
{
    const QStringList parts = middle.split(QLatin1Char('-'));
    if (parts.size() >= 2)
        addUnique(ids, unescaped(parts.mid(1).join(QLatin1Char('-'))));
    addUnique(ids, unescaped(middle));
}

template<typename Ehdr, typename Phdr, typename Nhdr>
QByteArray buildIdOf(const QByteArray &image, QFile &file)
{
    if (image.size() < qsizetype(sizeof(Ehdr)))
        return {};
    Ehdr header;
    std::memcpy(&header, image.constData(), sizeof header);
    if (header.e_phentsize != sizeof(Phdr) || header.e_phnum == 0 || header.e_phnum > 256)
        return {};
    for (int i = 0; i < header.e_phnum; ++i) {
        Phdr program;
        const quint64 at = quint64(header.e_phoff) + quint64(i) * sizeof(Phdr);
        if (at + sizeof(Phdr) > quint64(image.size()))
            return {};
        std::memcpy(&program, image.constData() + at, sizeof program);
        if (program.p_type != PT_NOTE || program.p_filesz > 65536)
            continue;
        if (!file.seek(qint64(program.p_offset)))
            continue;
        const QByteArray notes = file.read(qint64(program.p_filesz));
        qsizetype offset = 0;
        while (offset + qsizetype(sizeof(Nhdr)) <= notes.size()) {
            Nhdr note;
            std::memcpy(&note, notes.constData() + offset, sizeof note);
            offset += sizeof note;
            const qsizetype name = (note.n_namesz + 3) & ~3u;
            const qsizetype desc = (note.n_descsz + 3) & ~3u;
            if (offset + name + qsizetype(note.n_descsz) > notes.size())
                break;
            if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4
                && std::memcmp(notes.constData() + offset, "GNU", 4) == 0)
                return notes.mid(offset + name, note.n_descsz).toHex();
            offset += name + desc;
        }
    }
    return {};
}
} // namespace

QStringList desktopIdsOfUnit(const QString &unit)
{
    QStringList ids;
    if (unit.startsWith(QLatin1String("app-"))) {
        QString middle = unit.mid(4);
        if (middle.endsWith(QLatin1String(".service"))) {
            middle.chop(8);
            middle = middle.section(QLatin1Char('@'), 0, 0);
        } else if (middle.endsWith(QLatin1String(".scope"))) {
            middle.chop(6);
            const qsizetype random = middle.lastIndexOf(QLatin1Char('-'));
            if (random <= 0)
                return {};
            middle.truncate(random);
        } else {
            return {};
        }
        idsOfMiddle(middle, ids);
    } else if (unit.startsWith(QLatin1String("snap.")) && unit.endsWith(QLatin1String(".scope"))) {
        // snap.<snap>.<app>-<uuid>.scope; a snap's names hold no dots, an app's may hold dashes.
        const QStringList parts = unit.chopped(6).split(QLatin1Char('.'));
        if (parts.size() != 3)
            return {};
        const QString &last = parts.at(2);
        static const QRegularExpression uuid(QStringLiteral("-[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
        const QRegularExpressionMatch match = uuid.match(last);
        const qsizetype random = match.hasMatch() ? match.capturedStart() : last.lastIndexOf(QLatin1Char('-'));
        const QString app = random < 0 ? last : last.left(random);
        if (!parts.at(1).isEmpty() && !app.isEmpty())
            addUnique(ids, parts.at(1) + QLatin1Char('_') + app);
    }
    return ids;
}

QString cgroupOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cgroup").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString named;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("0::"))
            return QString::fromUtf8(line.mid(3));
        if (line.contains(":name=systemd:"))
            named = QString::fromUtf8(line.mid(line.indexOf(":name=systemd:") + 14));
    }
    return named;
}

QString unitOfCgroup(const QString &cgroup)
{
    return cgroup.section(QLatin1Char('/'), -1);
}

QString flatpakAppOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/root/.flatpak-info").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    bool application = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(4096).trimmed();
        if (line.startsWith('['))
            application = line == "[Application]";
        else if (application && line.startsWith("name="))
            return QString::fromUtf8(line.mid(5));
    }
    return {};
}

QByteArray elfBuildId(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray image = file.read(64 * 1024);
    if (image.size() < EI_NIDENT || !image.startsWith(ELFMAG))
        return {};
    if (image.at(EI_CLASS) == ELFCLASS64)
        return buildIdOf<Elf64_Ehdr, Elf64_Phdr, Elf64_Nhdr>(image, file);
    if (image.at(EI_CLASS) == ELFCLASS32)
        return buildIdOf<Elf32_Ehdr, Elf32_Phdr, Elf32_Nhdr>(image, file);
    return {};
}

QByteArray fileFingerprint(const QString &path)
{
    const QByteArray buildId = elfBuildId(path);
    if (!buildId.isEmpty())
        return "build-id:" + buildId;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(file.read(1024 * 1024));
    return "sha256:" + QByteArray::number(file.size()) + ':' + hash.result().toHex();
}

bool isScript(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(2) == "#!";
}

} // namespace AppIdentity
