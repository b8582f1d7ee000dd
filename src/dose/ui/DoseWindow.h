#pragma once
// The dose workstation's window: the reader's state on top, then reading a job, its records,
// the trend, the calibration, the reader check and the mapping studies; every action on the
// keyboard.

#include "dose/auth/Authenticator.h"
#include "dose/auth/PasswordPrompt.h"
#include "dose/usecases/CaptureSession.h"
#include "dose/usecases/Signer.h"

#include <QMainWindow>

class QAction;
class QLabel;
class QSettings;
class QStackedWidget;
class QTabWidget;
class QTimer;

namespace qvr::dose {

class CalibrationView;
class IdleWatch;
class LinkBar;
class LockPage;
class MappingView;
class ReadView;
class ReaderCheckView;
class RecordsView;
class TrendView;

struct DoseWindowEnv {
    QString operatorName; // who is logged in
    Now now = systemNow();
    QString settingsFile; // the window's own settings; settingsPath() in the program
    // How a signer's password is asked and checked: a signing dialog and PAM in the program.
    PasswordPrompt* passwords = nullptr;
    Authenticator* authenticator = nullptr;
};

// $XDG_CONFIG_HOME/QVR100/qvr100dose.conf
QString settingsPath();

class DoseWindow : public QMainWindow {
    Q_OBJECT
public:
    DoseWindow(Store& store, CaptureSession& session, DoseWindowEnv env, QWidget* parent = nullptr);
    ~DoseWindow() override;

    QAction* action(const QString& name) const; // "capture", "newJob", ... by object name
    LinkBar* linkBar() const { return linkBar_; }
    ReadView* readView() const { return read_; }
    RecordsView* recordsView() const { return records_; }
    TrendView* trendView() const { return trend_; }
    ReaderCheckView* checkView() const { return check_; }
    CalibrationView* calibrationView() const { return calibration_; }
    MappingView* mappingView() const { return mapping_; }
    QLabel* checkStatus() const { return checkStatus_; }
    QTabWidget* tabs() const { return tabs_; }
    void showView(QWidget* view); // one of the views above
    QWidget* currentView() const;
    // What the actions do once their dialogs have been answered; each says what happened on the
    // status bar and gives it, or the reason nothing happened.
    // confirmed: a gauge thickness far from the batch's nominal is meant.
    Outcome<QString> correctRecord(qint64 id, double thicknessUm, const QString& reason,
                                   bool confirmed = false);
    Outcome<QString> reviewJob(bool approve, const QString& reason);
    Outcome<QString> exportCsv(const QString& path);
    Outcome<QString> writeReport(const QString& path); // gives the report's id
    // Called on the window's clock: when another connection has written, every view reloads.
    // Says whether it did.
    bool checkDatabase();
    // Called on the window's clock: after the lab's idle time without use the views give way to
    // the lock page and every action is disabled. Says whether it locked now.
    bool checkIdle();
    bool isLocked() const;
    LockPage* lockPage() const { return lock_; }
    // Opens a locked window when the password typed on the lock page is the operator's own;
    // a wrong one counts toward the signing lock-out like any other.
    Outcome<QString> unlock();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* addAction(QMenu* menu, const QString& name, const QString& text,
                       const QKeySequence& key, std::function<void()> run);
    void addPage(QWidget* view, const QString& title);
    void fitOnScreen();
    void newJob();
    std::vector<MappingStudyRecords> approvedStudies();
    void askCorrection();
    void askReview(bool approve);
    void askExport();
    void askReport();
    void refreshViews();
    // Greys out what the operator's roles do not allow, saying why; again when they may change.
    void applyRoles();
    std::optional<QString> blocker(const QAction* action);
    void updateCheckStatus();
    void readIdleLimit();
    Outcome<QString> finish(Outcome<QString> outcome);
    void saveSettings();
    void say(const QString& text);

    Store& store_;
    CaptureSession& session_;
    DoseWindowEnv env_;
    std::unique_ptr<Signer> signer_; // none when the window cannot sign
    LinkBar* linkBar_;
    ReadView* read_;
    RecordsView* records_;
    TrendView* trend_;
    ReaderCheckView* check_;
    CalibrationView* calibration_;
    MappingView* mapping_;
    QLabel* checkStatus_;
    QTabWidget* tabs_;
    QLabel* status_;
    QTimer* poll_;
    QString changeMark_;
    QStackedWidget* pages_;
    QWidget* content_;
    LockPage* lock_;
    IdleWatch* idle_;
    int idleLockMinutes_;
    std::vector<std::pair<QAction*, bool>> lockedActions_; // and whether each was enabled
};

} // namespace qvr::dose
