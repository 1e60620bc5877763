#pragma once
// The command line of a program, or of one command of it: the options it takes are declared, and a line
// with anything else is refused before the program does anything. A refusal names the option as it was
// typed ("未知的选项: --preveiw", "选项缺少值: --link"), prints the usage on stderr and ends with 2;
// --help prints the help on stdout and --version the version, both ending with 0.

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <optional>

class CommandLine {
public:
    // usage: printed after a refusal; help: what --help prints (the usage when empty). Both end in "\n".
    explicit CommandLine(QString usage, QString help = QString());

    // An option without a value (--name), one that takes a value (--name VALUE, --name=VALUE).
    CommandLine& addFlag(const QString& name);
    CommandLine& addOption(const QString& name);
    // Options stop at the first argument that is no option: it names a command, and what follows is the
    // command's own.
    CommandLine& stopAtFirstArgument();

    // Reads the arguments that follow the program's (or the command's) name. Nothing when the program
    // goes on; otherwise the exit status, after what was printed.
    std::optional<int> parse(const QStringList& arguments);

    bool isSet(const QString& name) const { return m_parser.isSet(name); }
    QString value(const QString& name) const { return m_parser.value(name); }
    QStringList positionalArguments() const { return m_parser.positionalArguments(); }

    // What is wrong with the arguments ("未知的选项: X" or "选项缺少值: X"); empty when nothing is.
    QString problem(const QStringList& arguments) const;

private:
    bool takesValue(const QString& name) const { return m_withValue.contains(name); }
    bool known(const QString& name) const { return m_names.contains(name); }

    QCommandLineParser m_parser;
    QString m_usage;
    QString m_help;
    QStringList m_names;
    QStringList m_withValue;
    bool m_stopAtFirstArgument = false;
};

// What --version prints, on every program: "taxferry 1.0.0".
QString versionText();
