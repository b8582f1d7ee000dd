#pragma once
// What every command of the command line is made of, and the context it runs in.

#include "dose/cli/Cli.h"
#include "dose/core/Quantity.h"
#include "dose/store/Store.h"
#include "dose/usecases/Signer.h"
#include "dose/usecases/UsableCalibration.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <optional>

namespace qvr::dose {

enum Exit { kOk = 0, kRefused = 1, kUsage = 2 };

class Ctx;

struct Command {
    QString name;             // "batch add"
    QString synopsis;         // "batch add ID --thickness-um T [...]"
    QString help;             // a sentence or two
    QStringList valueOptions; // take a value; "background" may repeat
    QStringList flagOptions;
    QStringList required;
    int positionals = 0; // exactly this many after the command words
    std::function<int(Ctx&)> run;
};

class Ctx {
public:
    Ctx(const CliEnv& env, const Command& command, QStringList positional,
        QMap<QString, QStringList> options, bool json);

    const CliEnv& env;
    const Command& command;
    const QStringList positional;
    const bool json;

    bool has(const QString& option) const { return options_.contains(option); }
    QString value(const QString& option) const;
    QStringList values(const QString& option) const { return options_.value(option); }

    // Typed option values; a bad one is a usage error, reported here (check usageError()).
    // A number is a quantity within its range; an integer is an id unless said otherwise.
    std::optional<double> number(const QString& option, const Quantity& quantity);
    std::optional<qint64> integer(const QString& option, const Quantity& quantity = kId);
    std::optional<QDate> date(const QString& option);
    std::optional<QDate> dateFromToday(const QString& option); // a validity or expiry date
    std::optional<QDateTime> time(const QString& option);
    std::optional<qint64> integerArgument(int index);
    bool usageError() const { return usageError_; }

    // The store, opened on first use; nullptr after a failure already reported. One that this
    // opening creates or brings to roles has the operator as its first administrator.
    Store* store();
    // Who signs on the store through the program's prompt and authenticator; nullptr after a
    // failure already reported.
    Signer* signer();
    // Why the operator may not run this command, or nothing; the store is opened only for a
    // command that needs a role. A failure is reported here and gives kRefused.
    std::optional<int> refusedForRole();

    int refuse(const QString& why);         // one line on the error stream, exit 1
    int usage(const QString& why);          // one line and the command's synopsis, exit 2
    void warn(const QString& what);         // one line on the error stream, the command goes on
    void print(const QString& line);        // a line of text output, shown safely on a terminal
    void printData(const QString& text);    // output that is data (CSV): exactly as it is
    int printJson(const QJsonValue& value); // the whole output of a --json command, exit 0
    int done(const QString& chainHead);     // after a write: the chain's new head
    // The newest chain head this command wrote, for the line that says its output was lost.
    const QString& writtenHead() const { return writtenHead_; }
    void noteWrite(const QString& chainHead) { writtenHead_ = chainHead; }

private:
    QMap<QString, QStringList> options_;
    std::unique_ptr<Store> store_;
    std::unique_ptr<Signer> signer_;
    bool usageError_ = false;
    QString writtenHead_;
};

// Numbers for JSON: every digit, null for one that is not finite (JSON has no NaN).
QJsonValue jsonNumber(double value);
QJsonArray jsonNumbers(const std::vector<double>& values);
QJsonObject componentsJson(const Components& components); // null members without a dose
QJsonObject recordJson(const Record& record);
// One wavelength's dose of a film: which calibration gave it, the dose or why none, and its
// share of the film's dose.
struct WavelengthDoseRow {
    int wavelengthNm = 0;
    qint64 calibrationId = 0;
    int calibrationVersion = 0;
    qint64 fitId = 0;
    double absorbance = 0;
    const DoseResult* result = nullptr;
    double weight = 1;
};
QJsonObject wavelengthDoseJson(const WavelengthDoseRow& row);
QJsonValue agreementJson(bool has, const Agreement& agreement); // null without two doses
QJsonObject positionDoseJson(const PositionDose& dose);

inline constexpr Quantity kProcessValue{0, 1e6, false, ""}; // a timer's or conveyor's setting

QString fixed(double value, int decimals);

QJsonObject amendmentJson(const Amendment& amendment);
// Stores amendment as the next version of its subject, by the command's operator, and says so.
int addAmendment(Ctx& ctx, Amendment amendment);

void addBatchCommands(std::vector<Command>& commands);
void addCalibrationCommands(std::vector<Command>& commands);
void addCalibrationCheckCommand(std::vector<Command>& commands);
void addDoseCommands(std::vector<Command>& commands);
void addRecordCommands(std::vector<Command>& commands);
void addDbCommands(std::vector<Command>& commands);
void addReviewCommands(std::vector<Command>& commands);
// A signature as --json gives it; for a row not signed, the account it is attributed to.
QJsonObject signatureJson(const std::optional<Signature>& signature, const QString& account);
// A review and its signature as --json gives them.
QJsonObject reviewJson(const Review& review);
void addLabCommands(std::vector<Command>& commands);
void addMappingCommands(std::vector<Command>& commands);
void addRoleCommands(std::vector<Command>& commands);

} // namespace qvr::dose
