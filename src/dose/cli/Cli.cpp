#include "dose/cli/Cli.h"

#include "dose/cli/CliCommand.h"
#include "dose/cli/QtWarnings.h"
#include "dose/core/Canonical.h"
#include "dose/core/TextRules.h"
#include "dose/usecases/RoleGate.h"

#include <QIODevice>
#include <QJsonDocument>
#include <QSet>
#include <cmath>

namespace qvr::dose {

namespace {

const std::vector<Command>& commands() {
    static const std::vector<Command> all = [] {
        std::vector<Command> c;
        addBatchCommands(c);
        addCalibrationCommands(c);
        addCalibrationCheckCommand(c);
        addDoseCommands(c);
        addRecordCommands(c);
        addDbCommands(c);
        addReviewCommands(c);
        addLabCommands(c);
        addMappingCommands(c);
        addRoleCommands(c);
        return c;
    }();
    return all;
}

QString globalOptions() {
    return QStringLiteral(
        "Global options:\n"
        "  --db PATH-or-URL   the dose database (or QVR100_DOSE_DB; default\n"
        "                     $XDG_DATA_HOME/QVR100/dose.sqlite)\n"
        "  --json             machine-readable output\n"
        "  --help             this text, or a command's own with the command\n"
        "  --version          the program's version\n"
        "Exit status: 0 success, 1 refused or failed (one line on standard error), 2 usage "
        "error.\n");
}

QString commandUsage(const Command& c) {
    return QStringLiteral("Usage: qvr100dose %1\n%2\n\n%3")
        .arg(c.synopsis, c.help, globalOptions());
}

// Standard output could not be written (a full disk, a file-size limit, a closed pipe): the
// command fails, saying so and what a write already did.
int outputLost(Ctx& ctx) {
    const QIODevice* device = ctx.env.out->device();
    const QString why = device && !device->errorString().isEmpty() &&
                                device->errorString() != QLatin1String("Unknown error")
                            ? device->errorString()
                            : QStringLiteral("write error");
    *ctx.env.err << "qvr100dose: standard output could not be written (" << why << "): "
                 << (ctx.writtenHead().isEmpty()
                         ? QStringLiteral("the output of %1 is lost").arg(ctx.command.name)
                         : QStringLiteral("its report is lost, but the write was done: chain "
                                          "head %1")
                               .arg(ctx.writtenHead()))
                 << Qt::endl;
    return kRefused;
}

} // namespace

QString programUsage() {
    QString text = QStringLiteral("Usage: qvr100dose [--db PATH-or-URL] [--json] COMMAND ...\n"
                                  "Film batches, calibrations, doses and their records.\n\n"
                                  "Commands:\n");
    for (const Command& c : commands())
        text += QStringLiteral("  %1\n").arg(c.synopsis);
    return text + QLatin1Char('\n') + globalOptions();
}

Ctx::Ctx(const CliEnv& e, const Command& c, QStringList p, QMap<QString, QStringList> o, bool j)
    : env(e), command(c), positional(std::move(p)), json(j), options_(std::move(o)) {}

QString Ctx::value(const QString& option) const {
    const QStringList v = options_.value(option);
    return v.isEmpty() ? QString() : v.constLast();
}

std::optional<double> Ctx::number(const QString& option, const Quantity& quantity) {
    if (!has(option))
        return std::nullopt;
    auto v = parseQuantity(QStringLiteral("--") + option, value(option), quantity);
    if (!v) {
        usage(v.error());
        return std::nullopt;
    }
    return *v;
}

std::optional<qint64> Ctx::integer(const QString& option, const Quantity& quantity) {
    const auto v = number(option, quantity);
    if (!v)
        return std::nullopt;
    return static_cast<qint64>(*v);
}

std::optional<QDate> Ctx::date(const QString& option) {
    if (!has(option))
        return std::nullopt;
    const QDate d = QDate::fromString(value(option), Qt::ISODate);
    if (!d.isValid()) {
        usage(
            QStringLiteral("--%1 needs a date YYYY-MM-DD, not \"%2\"").arg(option, value(option)));
        return std::nullopt;
    }
    return d;
}

std::optional<QDate> Ctx::dateFromToday(const QString& option) {
    const auto d = date(option);
    const QDate today = env.now().date();
    if (d && *d < today) {
        usage(QStringLiteral("--%1 %2 is already past (today is %3)")
                  .arg(option, value(option), today.toString(Qt::ISODate)));
        return std::nullopt;
    }
    return d;
}

std::optional<QDateTime> Ctx::time(const QString& option) {
    if (!has(option))
        return std::nullopt;
    QDateTime t = QDateTime::fromString(value(option), Qt::ISODateWithMs);
    if (!t.isValid()) {
        usage(QStringLiteral("--%1 needs a time like 2026-12-07T08:30:00Z, not \"%2\"")
                  .arg(option, value(option)));
        return std::nullopt;
    }
    return t.toUTC();
}

std::optional<qint64> Ctx::integerArgument(int index) {
    const auto v = parseDecimal(positional.value(index));
    if (!v || *v < kId.lo || *v > kId.hi || *v != std::floor(*v)) {
        usage(QStringLiteral("\"%1\" is not an id (a whole number above 0)")
                  .arg(positional.value(index)));
        return std::nullopt;
    }
    return static_cast<qint64>(*v);
}

Store* Ctx::store() {
    if (!store_) {
        auto opened = Store::open(env.database, env.now,
                                  env.mayCreateDatabase ? IfMissing::Create : IfMissing::Refuse,
                                  env.operatorName);
        if (!opened) {
            refuse(opened.error());
            return nullptr;
        }
        store_ = std::move(*opened);
    }
    return store_.get();
}

Signer* Ctx::signer() {
    if (!signer_) {
        if (!env.passwords || !env.authenticator) {
            refuse(QStringLiteral("this program cannot sign"));
            return nullptr;
        }
        Store* opened = store();
        if (!opened)
            return nullptr;
        signer_ = std::make_unique<Signer>(*opened, *env.authenticator, *env.passwords);
    }
    return signer_.get();
}

std::optional<int> Ctx::refusedForRole() {
    // The database commands check for themselves: a database without roles yet has no one to
    // hold them.
    if (command.name.startsWith(QLatin1String("db ")))
        return std::nullopt;
    if (!roleNeeded(command.name)) {
        if (auto why = actRefusal({}, env.operatorName, command.name))
            return refuse(*why);
        return std::nullopt;
    }
    Store* opened = store();
    if (!opened)
        return kRefused;
    auto refusal = roleRefusal(*opened, env.operatorName, command.name);
    if (!refusal)
        return refuse(refusal.error());
    if (*refusal)
        return refuse(**refusal);
    return std::nullopt;
}

void Ctx::warn(const QString& what) {
    *env.err << "qvr100dose: warning: " << terminalText(what.simplified()) << Qt::endl;
}

int Ctx::refuse(const QString& why) {
    // libpq's messages run over several indented lines; Qt's own warnings join the one line.
    QString line = why.simplified();
    if (const QStringList warnings = takeQtWarnings(); !warnings.isEmpty())
        line += QStringLiteral(" (Qt: %1)").arg(warnings.join(QStringLiteral("; ")).simplified());
    *env.err << "qvr100dose: " << terminalText(line) << Qt::endl;
    return kRefused;
}

int Ctx::usage(const QString& why) {
    if (!usageError_)
        *env.err << "qvr100dose: " << terminalText(why) << "\nUsage: qvr100dose "
                 << command.synopsis << Qt::endl;
    usageError_ = true;
    return kUsage;
}

void Ctx::print(const QString& line) {
    *env.out << terminalText(line) << Qt::endl;
}

void Ctx::printData(const QString& text) {
    *env.out << text;
}

int Ctx::printJson(const QJsonValue& value) {
    const QJsonDocument doc =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    if (const QJsonValue head = value.toObject().value(QStringLiteral("chain_head"));
        head.isString())
        writtenHead_ = head.toString();
    *env.out << terminalJson(doc.toJson(QJsonDocument::Compact)) << Qt::endl;
    return kOk;
}

int Ctx::done(const QString& chainHead) {
    writtenHead_ = chainHead;
    print(QStringLiteral("chain head %1").arg(chainHead));
    return kOk;
}

QJsonValue jsonNumber(double value) {
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue();
}

QJsonArray jsonNumbers(const std::vector<double>& values) {
    QJsonArray a;
    for (double v : values)
        a.append(jsonNumber(v));
    return a;
}

QString fixed(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

int runCli(const QStringList& arguments, const CliEnv& baseEnv) {
    CliEnv env = baseEnv;
    // The command words come first, after any global options.
    int first = 0;
    while (first < arguments.size() && arguments[first].startsWith(QLatin1Char('-')))
        first += arguments[first] == QLatin1String("--db") ? 2 : 1;
    const Command* command = nullptr;
    int used = 0;
    for (const Command& c : commands()) {
        const QStringList name = c.name.split(QLatin1Char(' '));
        if (arguments.mid(first, name.size()) == name && name.size() > used) {
            command = &c;
            used = static_cast<int>(name.size());
        }
    }
    QSet<QString> valueOptions{QStringLiteral("db")};
    if (command)
        for (const QString& o : command->valueOptions)
            valueOptions.insert(o);

    QStringList words;
    QMap<QString, QStringList> options;
    bool json = false, help = false;
    QString badOption;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (i >= first && i < first + used)
            continue;
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            help = true;
        } else if (a.startsWith(QLatin1String("--")) && a.size() > 2) {
            QString name = a.mid(2), value;
            const qsizetype eq = name.indexOf(QLatin1Char('='));
            const bool inlineValue = eq >= 0;
            if (inlineValue) {
                value = name.mid(eq + 1);
                name = name.left(eq);
            }
            if (name == QLatin1String("json") && !inlineValue) {
                json = true;
                continue;
            }
            if (valueOptions.contains(name) && !inlineValue) {
                if (i + 1 >= arguments.size()) {
                    badOption = QStringLiteral("--%1 needs a value").arg(name);
                    continue;
                }
                value = arguments[++i];
            }
            options[name] << value;
        } else {
            words << a;
        }
    }
    if (options.contains(QStringLiteral("db"))) {
        env.database = options.take(QStringLiteral("db")).constLast();
        env.mayCreateDatabase = false;
    }

    if (!command) {
        if (words.isEmpty() && options.size() == 1 && options.contains(QStringLiteral("version")) &&
            options.value(QStringLiteral("version")) == QStringList{QString()}) {
            *env.out << "qvr100dose " << QVR100_VERSION << Qt::endl;
            return env.out->status() == QTextStream::Ok ? kOk : kRefused;
        }
        if (help || words.isEmpty()) {
            (help ? *env.out : *env.err) << programUsage();
            env.out->flush();
            env.err->flush();
            return help ? kOk : kUsage;
        }
        *env.err << "qvr100dose: unknown command \"" << terminalText(words.join(QLatin1Char(' ')))
                 << "\" (qvr100dose --help lists them)" << Qt::endl;
        return kUsage;
    }
    if (help) {
        *env.out << commandUsage(*command) << Qt::flush;
        return kOk;
    }
    Ctx ctx(env, *command, words, options, json);
    if (!badOption.isEmpty())
        return ctx.usage(badOption);
    for (auto it = options.begin(); it != options.end(); ++it) {
        if (!command->valueOptions.contains(it.key()) && !command->flagOptions.contains(it.key()))
            return ctx.usage(
                QStringLiteral("%1 takes no option --%2").arg(command->name, it.key()));
        if (command->flagOptions.contains(it.key()) && !it.value().constLast().isEmpty())
            return ctx.usage(QStringLiteral("--%1 takes no value").arg(it.key()));
        if (it.value().size() > 1 && it.key() != QLatin1String("background") &&
            it.key() != QLatin1String("u-background") && it.key() != QLatin1String("exclude"))
            return ctx.usage(QStringLiteral("--%1 is given more than once").arg(it.key()));
    }
    for (const QString& r : command->required)
        if (!options.contains(r))
            return ctx.usage(QStringLiteral("%1 needs --%2").arg(command->name, r));
    if (ctx.positional.size() != command->positionals)
        return ctx.usage(ctx.positional.size() < command->positionals
                             ? QStringLiteral("%1: an argument is missing").arg(command->name)
                             : QStringLiteral("%1: unexpected argument \"%2\"")
                                   .arg(command->name, ctx.positional.value(command->positionals)));
    if (const auto refused = ctx.refusedForRole())
        return *refused;
    const int status = command->run(ctx);
    env.out->flush();
    if (env.out->status() != QTextStream::Ok)
        return outputLost(ctx);
    return ctx.usageError() ? kUsage : status;
}

} // namespace qvr::dose
