#include "ToolLine.h"

#include "link/Ats.h"
#include "link/LineCode.h"
#include "platform/Registry.h"

#include <QDir>
#include <QFileInfo>

#include <array>
#include <cstdio>

QTextStream& ToolOut() {
    static QTextStream s(stdout);
    return s;
}

QTextStream& ToolErr() {
    static QTextStream s(stderr);
    return s;
}

int ToolEncode(const QStringList& args) {
    if (args.isEmpty()) {
        ToolErr() << "usage: varnel-tool encode TEXT\n";
        return 2;
    }
    std::array<uint8_t, TAts::kEncodedSize> codes{};
    LineCodeState st;
    const int n = EncodeCodes(st, args.join(QLatin1Char(' ')), codes.data(), int(codes.size()));
    QStringList out;
    out.reserve(n);
    for (int i = 0; i < n; ++i)
        out << QString::number(codes[size_t(i)]);
    ToolOut() << out.join(QLatin1Char(' ')) << '\n';
    ToolOut().flush();
    return 0;
}

namespace {
enum class Type { Any, Int, Bool, String };

// Takes the type flags out of args; false on an unknown or second flag.
bool TakeType(QStringList& args, Type& type) {
    type = Type::Any;
    for (qsizetype i = args.size() - 1; i >= 0; --i) {
        Type t = Type::Any;
        if (args[i] == QLatin1String("--int"))
            t = Type::Int;
        else if (args[i] == QLatin1String("--bool"))
            t = Type::Bool;
        else if (args[i] == QLatin1String("--string"))
            t = Type::String;
        else
            continue;
        if (type != Type::Any) return false;
        type = t;
        args.removeAt(i);
    }
    return true;
}

std::optional<bool> ParseBool(const QString& s) {
    const QString t = s.trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("1") || t == QLatin1String("yes"))
        return true;
    if (t == QLatin1String("false") || t == QLatin1String("0") || t == QLatin1String("no"))
        return false;
    return std::nullopt;
}

int RegistryUsage() {
    ToolErr()
        << "usage: varnel-tool registry list KEY\n"
           "       varnel-tool registry get KEY NAME [--int|--bool|--string]\n"
           "       varnel-tool registry set KEY NAME VALUE [--int|--bool|--string]\n"
           "KEY as the terminal writes it, for example \"\\Software\\ZezozuDaruduri\\ATS 1\".\n";
    return 2;
}

int List(Registry& reg, const QString& key) {
    const RegistryKey open{reg, key, false};
    if (!open) {
        ToolErr() << "no such key: " << key << '\n';
        return 1;
    }
    QStringList names = reg.ValueNames();
    names.sort(Qt::CaseInsensitive);
    for (const QString& name : names)
        ToolOut() << name << '=' << reg.ReadString(name, QString()) << '\n';
    QStringList keys = reg.KeyNames();
    keys.sort(Qt::CaseInsensitive);
    for (const QString& sub : keys)
        ToolOut() << sub << "\\\n";
    return 0;
}

int Get(Registry& reg, const QString& key, const QString& name, Type type) {
    QString text;
    {
        const RegistryKey open{reg, key, false};
        if (!open || !reg.ValueExists(name)) {
            ToolErr() << "no value " << name << " under " << key << '\n';
            return 1;
        }
        if (type == Type::Int) {
            const auto v = reg.ReadInteger(name);
            if (v) text = QString::number(*v);
        } else if (type == Type::Bool) {
            const auto v = reg.ReadBool(name);
            if (v) text = *v ? QStringLiteral("true") : QStringLiteral("false");
        } else {
            text = reg.ReadString(name, QString());
        }
    }
    if ((type == Type::Int || type == Type::Bool) && text.isEmpty()) {
        ToolErr() << name << " is not readable as "
                  << (type == Type::Int ? "an integer" : "a boolean") << '\n';
        return 1;
    }
    ToolOut() << text << '\n';
    return 0;
}

int Set(Registry& reg, const QString& key, const QString& name, const QString& value, Type type) {
    bool ok = true;
    int number = 0;
    std::optional<bool> flag;
    if (type == Type::Int) number = value.trimmed().toInt(&ok);
    if (type == Type::Bool) ok = (flag = ParseBool(value)).has_value();
    if (!ok) {
        ToolErr() << "not " << (type == Type::Int ? "an integer" : "a boolean (true/false)") << ": "
                  << value << '\n';
        return 2;
    }
    if (name.isEmpty()) return RegistryUsage();
    bool written = false;
    {
        const RegistryKey open{reg, key, true};
        if (!open) {
            ToolErr() << "cannot create " << key << " in " << reg.FilePath() << '\n';
            return 1;
        }
        if (type == Type::Int)
            written = reg.WriteInteger(name, number);
        else if (type == Type::Bool)
            written = reg.WriteBool(name, *flag);
        else
            written = reg.WriteString(name, value);
    }
    if (!written) {
        ToolErr() << "cannot write " << reg.FilePath() << '\n';
        return 1;
    }
    return 0;
}
} // namespace

int ToolRegistry(const QStringList& argsIn) {
    QStringList args = argsIn;
    Type type = Type::Any;
    if (!TakeType(args, type) || args.isEmpty()) return RegistryUsage();
    const QString sub = args.takeFirst();
    Registry reg;
    if (!reg.IsAccessible()) {
        ToolErr() << "cannot read the settings store " << reg.FilePath() << ": access denied\n";
        ToolErr().flush();
        return 1;
    }
    int rc = 2;
    if (sub == QLatin1String("list") && args.size() == 1 && type == Type::Any)
        rc = List(reg, args[0]);
    else if (sub == QLatin1String("get") && args.size() == 2)
        rc = Get(reg, args[0], args[1], type);
    else if (sub == QLatin1String("set") && args.size() == 3)
        rc = Set(reg, args[0], args[1], args[2], type);
    else
        return RegistryUsage();
    ToolOut().flush();
    ToolErr().flush();
    return rc;
}

bool RegularFileOrSay(const QString& path) {
    const QFileInfo fi(path);
    if (!fi.exists() || fi.isFile()) return true;
    ToolErr() << QDir::toNativeSeparators(path)
              << (fi.isDir() ? ": is a folder" : ": not a regular file (a pipe or device)")
              << ", refused\n";
    ToolErr().flush();
    return false;
}
