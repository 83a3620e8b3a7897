#include "udevrules.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>

QStringList UdevRule::systemFolders()
{
    return {QStringLiteral("/etc/udev/rules.d"), QStringLiteral("/run/udev/rules.d"),
            QStringLiteral("/usr/lib/udev/rules.d"), QStringLiteral("/lib/udev/rules.d")};
}

UdevRule UdevRule::naming(const QString &name, const QStringList &folders)
{
    // udev reads the files in the order of their names, whatever the folder.
    QMap<QString, QString> files;
    for (const QString &folder : folders) {
        const QDir dir(folder);
        for (const QString &file :
             dir.entryList({QStringLiteral("*.rules")}, QDir::Files | QDir::System)) {
            if (!files.contains(file))
                files.insert(file, dir.filePath(file));
        }
    }

    static const QRegularExpression symlink(QStringLiteral("\\bSYMLINK\\+?=\\s*\"([^\"]*)\""));
    static const QRegularExpression vendor(
            QStringLiteral("\\bATTRS\\{idVendor\\}==\\s*\"([0-9A-Fa-f]{4})\""));
    static const QRegularExpression product(
            QStringLiteral("\\bATTRS\\{idProduct\\}==\\s*\"([0-9A-Fa-f]{4})\""));
    for (const QString &path : std::as_const(files)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.startsWith(QLatin1Char('#')))
                continue;
            const QRegularExpressionMatch links = symlink.match(line);
            if (!links.hasMatch()
                || !links.captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts).contains(name))
                continue;
            return {path, vendor.match(line).captured(1).toLower(),
                    product.match(line).captured(1).toLower()};
        }
    }
    return {};
}
