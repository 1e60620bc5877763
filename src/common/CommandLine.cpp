#include "common/CommandLine.h"

#include <cstdio>

CommandLine::CommandLine(QString usage, QString help) : m_usage(std::move(usage)), m_help(std::move(help)) {
    if (m_help.isEmpty()) m_help = m_usage;
    m_parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    m_parser.addOption(QCommandLineOption(QStringLiteral("version")));
    m_names << QStringLiteral("h") << QStringLiteral("help") << QStringLiteral("version");
}

CommandLine& CommandLine::addFlag(const QString& name) {
    m_parser.addOption(QCommandLineOption(name));
    m_names << name;
    return *this;
}

CommandLine& CommandLine::addOption(const QString& name) {
    m_parser.addOption(QCommandLineOption(name, QString(), QStringLiteral("value")));
    m_names << name;
    m_withValue << name;
    return *this;
}

CommandLine& CommandLine::stopAtFirstArgument() {
    m_parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    m_stopAtFirstArgument = true;
    return *this;
}

// Walks the arguments as QCommandLineParser reads them (long options with "--", short ones compacted
// after "-", "--" alone ending the options) to name the first one it would refuse as the user typed it:
// the parser's own text is English and gives the name without its dashes.
QString CommandLine::problem(const QStringList& arguments) const {
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == u"--") return {};
        if (!a.startsWith(u'-') || a.size() == 1) {
            if (m_stopAtFirstArgument) return {};
            continue;
        }
        if (a.startsWith(u"--")) {
            const qsizetype assign = a.indexOf(u'=');
            const QString typed = assign < 0 ? a : a.left(assign);
            const QString name = typed.mid(2);
            if (!known(name)) return QStringLiteral("未知的选项: ") + typed;
            if (!takesValue(name)) {
                if (assign >= 0) return QStringLiteral("选项不能带值: ") + typed;
                continue;
            }
            if (assign >= 0) continue;
            if (i + 1 >= arguments.size()) return QStringLiteral("选项缺少值: ") + a;
            ++i;
            continue;
        }
        // "-h" and its like: one letter an option; a letter that takes a value takes the rest, or the next
        // argument.
        for (qsizetype pos = 1; pos < a.size(); ++pos) {
            const QString name = a.mid(pos, 1);
            if (!known(name)) return QStringLiteral("未知的选项: ") + a;
            if (takesValue(name)) {
                if (pos + 1 == a.size()) {
                    if (i + 1 >= arguments.size()) return QStringLiteral("选项缺少值: ") + a;
                    ++i;
                }
                break;
            }
        }
    }
    return {};
}

std::optional<int> CommandLine::parse(const QStringList& arguments) {
    const bool parsed = m_parser.parse(QStringList{QStringLiteral("taxferry")} + arguments);
    QString refused = problem(arguments);
    // Whatever else the parser refuses (it knows its own rules best), said in its own words.
    if (refused.isEmpty() && !parsed) refused = m_parser.errorText();
    if (!refused.isEmpty()) {
        std::fprintf(stderr, "%s\n%s", refused.toUtf8().constData(), m_usage.toUtf8().constData());
        return 2;
    }
    if (m_parser.isSet(QStringLiteral("help"))) {
        std::fputs(m_help.toUtf8().constData(), stdout);
        return 0;
    }
    if (m_parser.isSet(QStringLiteral("version"))) {
        std::printf("%s\n", versionText().toUtf8().constData());
        return 0;
    }
    return std::nullopt;
}

QString versionText() {
    return QStringLiteral("taxferry " TAXFERRY_VERSION);
}
