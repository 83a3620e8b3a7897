#include "udevrules_unix.h"
#include "strangerfile_unix.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>

namespace {

// udev's own rule files are a few kilobytes; udev ignores a rule longer than
// its line buffer.
constexpr qint64 maxFileSize = 1024 * 1024;
constexpr qsizetype maxRuleSize = 16 * 1024;

const QString blanks = QStringLiteral(" \t\n\r");

struct Key
{
    QString name;
    QString attr;
    QString op;
    QString value;

    bool matches() const { return op == QLatin1String("==") || op == QLatin1String("!="); }
    QString written() const
    {
        QString quoted = value;
        quoted.replace(QLatin1Char('"'), QLatin1String("\\\""));
        return name + (attr.isNull() ? QString() : QLatin1Char('{') + attr + QLatin1Char('}')) + op
                + QLatin1Char('"') + quoted + QLatin1Char('"');
    }
};

// A rule's keys, KEY{attr} op "value" separated by commas or blanks, or
// false where udev would refuse the rule.
bool parseRule(const QString &rule, QList<Key> &keys)
{
    qsizetype at = 0;
    const auto skip = [&rule, &at](const QString &chars) {
        while (at < rule.size() && chars.contains(rule.at(at)))
            ++at;
    };
    const auto operatorAt = [&rule](qsizetype i) {
        for (const char *op : {"==", "!=", "+=", "-=", ":=", "="}) {
            if (QStringView(rule).sliced(i).startsWith(QLatin1String(op)))
                return QString::fromLatin1(op);
        }
        return QString();
    };
    for (;;) {
        skip(blanks + QLatin1Char(','));
        if (at == rule.size())
            return true;
        Key key;
        const qsizetype start = at;
        while (at < rule.size() && !(blanks + QStringLiteral("={")).contains(rule.at(at))
               && !(QStringLiteral("+-!:").contains(rule.at(at)) && at + 1 < rule.size()
                    && rule.at(at + 1) == QLatin1Char('=')))
            ++at;
        key.name = rule.sliced(start, at - start);
        if (key.name.isEmpty() || at == rule.size())
            return false;
        if (rule.at(at) == QLatin1Char('{')) {
            const qsizetype end = rule.indexOf(QLatin1Char('}'), at);
            if (end < 0)
                return false;
            key.attr = rule.sliced(at + 1, end - at - 1);
            at = end + 1;
        }
        skip(blanks);
        key.op = operatorAt(at);
        if (key.op.isEmpty())
            return false;
        at += key.op.size();
        skip(blanks);
        // e"..." takes C escapes, i"..." matches in any case; both may come.
        bool escaped = false;
        for (bool seen = false; at < rule.size() && rule.at(at) != QLatin1Char('"'); ++at) {
            const QChar prefix = rule.at(at);
            if (prefix == QLatin1Char('e') && !escaped)
                escaped = true;
            else if (prefix != QLatin1Char('i') || seen)
                return false;
            else
                seen = true;
        }
        if (at == rule.size())
            return false;
        for (++at;; ++at) {
            if (at == rule.size())
                return false;
            QChar c = rule.at(at);
            if (c == QLatin1Char('"'))
                break;
            if (c == QLatin1Char('\\') && at + 1 < rule.size()
                && (escaped || rule.at(at + 1) == QLatin1Char('"'))) {
                c = rule.at(++at);
                if (escaped) {
                    static const QString from = QStringLiteral("abfnrtvs\\\"'");
                    static const QString to = QStringLiteral("\a\b\f\n\r\t\v \\\"'");
                    if (!from.contains(c))
                        return false; // udev takes more, which no name needs
                    c = to.at(from.indexOf(c));
                }
            }
            key.value += c;
        }
        ++at;
        keys << key;
    }
}

// The links a rule gives under /dev: an assignment replaces those of the
// keys before it, and -= takes some away, unless one of them was final (:=).
QStringList linksOf(const QList<Key> &keys)
{
    static const QRegularExpression separators(QStringLiteral("[ \t\n\r]+"));
    QStringList links;
    bool locked = false;
    for (const Key &key : keys) {
        if (key.name != QLatin1String("SYMLINK") || key.matches() || locked)
            continue;
        const QStringList names = key.value.split(separators, Qt::SkipEmptyParts);
        if (key.op == QLatin1String("-=")) {
            for (const QString &name : names)
                links.removeAll(name);
            continue;
        }
        if (key.op != QLatin1String("+="))
            links.clear();
        locked = key.op == QLatin1String(":=");
        links << names;
    }
    return links;
}

// Whether the keys of a rule all hold for any tty being added: only then is
// its GOTO surely taken.
bool holdsForTty(const QList<Key> &keys)
{
    static const QRegularExpression pattern(QStringLiteral("[*?\\[|]"));
    return std::all_of(keys.begin(), keys.end(), [](const Key &key) {
        const bool equal = key.value == (key.name == QLatin1String("ACTION") ? "add" : "tty");
        return !key.matches()
                || ((key.name == QLatin1String("ACTION") || key.name.startsWith("SUBSYSTEM"))
                    && equal == (key.op == QLatin1String("==")) && !key.value.contains(pattern));
    });
}

// The value of the rule's key name, null if it has none.
QString valueOf(const QList<Key> &keys, const char *name)
{
    const auto found = std::find_if(keys.begin(), keys.end(), [name](const Key &key) {
        return key.name == QLatin1String(name);
    });
    return found == keys.end() ? QString() : found->value;
}

UdevRule ruleOf(const QString &file, int line, const QList<Key> &keys)
{
    static const QRegularExpression hex4(
            QRegularExpression::anchoredPattern(QStringLiteral("[0-9A-Fa-f]{4}")));
    // Keys that only say what kind of device it is, which leave the
    // adapter to its ids.
    static const QStringList kind{QStringLiteral("ACTION"), QStringLiteral("SUBSYSTEM"),
                                  QStringLiteral("SUBSYSTEMS"), QStringLiteral("KERNEL"),
                                  QStringLiteral("DRIVERS")};
    UdevRule rule;
    rule.file = file;
    rule.line = line;
    QString vendor;
    QString product;
    bool byIds = true;
    for (const Key &key : keys) {
        if (!key.matches())
            continue;
        rule.matches << key.written();
        const bool id = key.name == QLatin1String("ATTRS") && key.op == QLatin1String("==")
                && hex4.match(key.value).hasMatch();
        if (id && key.attr == QLatin1String("idVendor") && vendor.isNull())
            vendor = key.value.toLower();
        else if (id && key.attr == QLatin1String("idProduct") && product.isNull())
            product = key.value.toLower();
        else if (!kind.contains(key.name) || !key.attr.isNull())
            byIds = false;
    }
    if (byIds && !vendor.isNull() && !product.isNull()) {
        rule.vendorId = vendor;
        rule.productId = product;
    }
    return rule;
}

// The text of a rule file, or nothing if it is not a regular file of a sane
// size: a FIFO or a device named *.rules is never opened, as opening one can
// block or act on a line. read: none was there to read, or it was read whole.
QByteArray readRuleFile(const QString &path, bool *read)
{
    const StrangerFile file(QFile::encodeName(path), true);
    const qint64 size = file.info().st_size;
    *read = file.kind() == StrangerFile::Absent || file.kind() == StrangerFile::NotRegular;
    if (file.kind() != StrangerFile::Opened || size > maxFileSize)
        return QByteArray();
    const QByteArray text = file.read(size);
    *read = text.size() == size;
    return text;
}

} // namespace

QStringList UdevRule::systemFolders()
{
    return {QStringLiteral("/etc/udev/rules.d"), QStringLiteral("/run/udev/rules.d"),
            QStringLiteral("/usr/local/lib/udev/rules.d"), QStringLiteral("/usr/lib/udev/rules.d"),
            QStringLiteral("/lib/udev/rules.d")};
}

QString UdevRule::notPluggedIn(const QString &name) const
{
    if (isUnread())
        return tr("The udev rules in %1 could not be read: whether one of them names %2 is not "
                  "known.")
                .arg(file, name);
    if (!vendorId.isEmpty())
        return tr("The USB adapter %1:%2, which the udev rule in %3 names %4, is not plugged in. "
                  "Plug it in, then open the link again.")
                .arg(vendorId, productId, file, name);
    const QString keys = matches.isEmpty()
            ? QString()
            : QStringLiteral(" (") + matches.join(QStringLiteral(", ")) + QLatin1Char(')');
    return tr("The device that the udev rule at line %1 of %2 names %3%4 is not plugged in. Plug "
              "it in, then open the link again.")
            .arg(QString::number(line), file, name, keys);
}

UdevRule UdevRule::naming(const QString &name, const QStringList &folders)
{
    // udev reads the files in the order of their names, whatever the folder;
    // the first of a name masks the others, be it empty or a link to
    // /dev/null.
    QMap<QString, QString> files;
    for (const QString &folder : folders) {
        const QDir dir(folder);
        for (const QString &file :
             dir.entryList({QStringLiteral("*.rules")},
                           QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            if (!files.contains(file))
                files.insert(file, dir.filePath(file));
        }
    }

    QString unread;
    for (const QString &path : std::as_const(files)) {
        bool read = false;
        const QStringList lines =
                QString::fromUtf8(readRuleFile(path, &read)).split(QLatin1Char('\n'));
        if (!read && unread.isNull())
            unread = path;
        QString rule;
        QString skipTo; // the LABEL a GOTO jumps to
        int first = 0; // of the rule read so far, none if 0
        for (int number = 1; number <= lines.size(); ++number) {
            QString text = lines.at(number - 1);
            if (text.endsWith(QLatin1Char('\r')))
                text.chop(1);
            qsizetype start = 0;
            while (start < text.size() && blanks.contains(text.at(start)))
                ++start;
            text.remove(0, start);
            // A comment is left out even inside a continued rule.
            if (text.startsWith(QLatin1Char('#')))
                continue;
            if (first == 0)
                first = number;
            rule += text;
            if (rule.endsWith(QLatin1Char('\\'))) {
                rule.chop(1);
                continue;
            }
            QList<Key> keys;
            if (rule.size() <= maxRuleSize && parseRule(rule, keys)) {
                if (skipTo.isNull() && linksOf(keys).contains(name))
                    return ruleOf(path, first, keys);
                if (!skipTo.isNull() && valueOf(keys, "LABEL") == skipTo)
                    skipTo.clear();
                else if (skipTo.isNull() && !valueOf(keys, "GOTO").isNull() && holdsForTty(keys))
                    skipTo = valueOf(keys, "GOTO");
            }
            rule.clear();
            first = 0;
        }
    }
    UdevRule none;
    none.file = unread;
    return none;
}
