#pragma once
// The production window (resource 150 for the job's controls): a setting
// file programmed into chip after chip, as `oriole-cli run` does, shown as
// an operator's view. One panel per box says what to do with its socket
// (insert, wait, take out) and the verdict of its last chip in large
// colours; beside them the device, the files with their SHA-256, the next
// serial number and the lot's counts; below them the results, newest first.
// The run itself is the production library's: it runs on worker threads,
// and what it reports comes to this window through the event loop, which
// never waits for a box. Stop ends the run after the chips being
// programmed; so does a close during a run, which then leaves the summary
// up until the window is closed again.

#include <QFrame>
#include <QMap>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "production/ProductionRun.h"
#include "views/ResDialog.h"

class QCloseEvent;
class QGridLayout;
class QKeyEvent;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QTreeWidget;

namespace oriole {

// One box's panel: its number and name, and what its socket needs now.
class CBoxPanel final : public QFrame {
    Q_OBJECT
public:
    enum class Look { Idle, Insert, Working, Pass, Fail, Remove, Lost, Ended };

    CBoxPanel(int number, const QString& name, QWidget* parent = nullptr);

    [[nodiscard]] const QString& Name() const { return m_name; }
    [[nodiscard]] Look Shown() const { return m_look; }
    // The large line, the line under it and the instruction line.
    [[nodiscard]] QString Headline() const;
    [[nodiscard]] QString Detail() const;
    [[nodiscard]] QString Hint() const;
    // The progress bar's value; -1 while it is hidden.
    [[nodiscard]] int Percent() const;

    // The run's events for this box.
    void OnState(BoxState state);
    void OnChipStart(const QString& serial);
    void OnStep(const QString& stepName, bool done, bool ok);
    void OnProgress(int percent);
    void OnChip(const ChipRecord& record);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void SetLook(Look look, const QString& headline, const QString& detail, const QString& hint);
    void FitTexts();

    QString m_name;
    Look m_look = Look::Idle;
    QString m_serial;       // the chip's number now being programmed
    QString m_lastResult;   // "合格 1002", for the lines under the next state
    bool m_bResultShown = false;  // the panel shows a chip's verdict
    QLabel* m_title = nullptr;
    QLabel* m_headline = nullptr;
    QLabel* m_detail = nullptr;
    QLabel* m_hint = nullptr;
    QProgressBar* m_bar = nullptr;
};

// What a failure's cause asks of the operator.
QString OperatorAdvice(Cause cause);

class CProductionDlg final : public CResDialog {
    Q_OBJECT
public:
    struct Options {
        QString settingFile;
        // Writer specs of the command line; empty: the setting file's writer.
        QStringList writers;
        // How often a waiting box asks for its chip.
        std::chrono::milliseconds poll{250};
        // The job as the setting file says, unchangeable here: only the lot
        // and operator fields, Start, Stop and Close can be used.
        bool locked = false;
        // The event stream's file, as `oriole-cli run --events` takes it
        // (empty: none); the field starts with it, and a locked window keeps it.
        QString eventsFile;
        // Where the files the setting file names may also be written, as
        // `oriole-cli run --data-dir` takes it (empty: its folder only).
        QString dataDir;
        // Asks for an existing file, starting in `folder`; empty when the user
        // cancels. Null: the platform's open dialog.
        std::function<QString(QWidget* parent, const QString& folder, const QStringList& filters)>
            chooseFile;
        // The sound of a chip's verdict. Null: the system's bell, once for a
        // pass, three times for a failure.
        std::function<void(bool passed)> sound;
    };

    explicit CProductionDlg(Options options, QWidget* parent = nullptr);
    ~CProductionDlg() override;

    [[nodiscard]] bool IsRunning() const { return m_run != nullptr; }
    [[nodiscard]] bool IsLocked() const { return m_options.locked; }

    // Reads the setting file named in the path box into the controls.
    void LoadSettingFile();
    // Starts a run with what the controls say; false (and a message in the
    // window) when it cannot start.
    bool Start();
    // Ends the run after the chips being programmed.
    void Stop();

    // What the window shows, for its tests.
    [[nodiscard]] int PanelCount() const { return static_cast<int>(m_panels.size()); }
    [[nodiscard]] CBoxPanel* Panel(int index) const { return m_panels.at(static_cast<size_t>(index)); }
    [[nodiscard]] QTreeWidget* Results() const { return m_results; }
    [[nodiscard]] QPlainTextEdit* Messages() const { return m_messages; }
    [[nodiscard]] QString Summary() const;
    // The summary is marked (red): the run fell short or lost a box.
    [[nodiscard]] bool SummaryMarked() const { return m_bSummaryMarked; }
    [[nodiscard]] int PassedCount() const { return m_nPassed; }
    [[nodiscard]] int FailedCount() const { return m_nFailed; }
    [[nodiscard]] QString NextSerialShown() const;
    [[nodiscard]] QString FilesShown() const;
    [[nodiscard]] QString YieldShown() const;

public slots:
    // Nothing but the close button and the close box ends the window.
    void accept() override {}
    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildView();
    void ShowJob(const ProductionJob& job);
    void ShowFiles(const QStringList& lines);
    void ShowNextSerial(const ProductionJob& job);
    // The job of the setting file with the controls' changes; false with the reason.
    [[nodiscard]] bool TakeControls(ProductionJob& job, ProductionOptions& options,
                                    std::string& error) const;
    [[nodiscard]] bool TakeSerialRule(ProductionJob& job, std::string& error) const;
    void ShowLogTail(const QString& path);
    void AddResult(const ChipRecord& record);
    void SetRunning(bool running);
    void ApplySerialBox();
    // A lot other than the one counted starts the counts again.
    void ApplyLot();
    void ShowCounts();
    void MakePanels(const std::vector<std::string>& names);
    void ShowPanelsOfWriters();
    CBoxPanel* PanelOf(const QString& box) const;
    void ToggleFullScreen();
    // Puts the chosen file in the box; false when none was chosen.
    [[nodiscard]] bool Browse(int editId, const char* filter);
    void OnAllWriters();
    void OnClose();

    // From the run's threads, through the event loop.
    void OnChip(const ChipRecord& record);
    void OnMessage(const QString& box, const QString& message);
    void OnState(const QString& box, BoxState state);
    // `prepared` false: the run never started its boxes.
    void OnFinished(bool prepared);
    // The end of the run in the summary, as the run tells it.
    void ShowSummary(bool prepared);

    Options m_options;
    QString m_loadedPath;  // the setting file as last read into the controls
    QString m_fileWriter;  // its writer
    std::unique_ptr<CProductionRun> m_run;
    std::thread m_worker;
    std::optional<ProductionJob> m_job;  // the running (or last run) job, for its next number
    std::vector<CBoxPanel*> m_panels;
    QString m_countedLot;
    int m_nPassed = 0;
    int m_nFailed = 0;
    int m_nRunPassed = 0;  // this run's, for its summary
    int m_nRunFailed = 0;
    std::optional<ChipRecord> m_lastFailure;
    // How the last run ended, taken from it before it goes.
    struct Ending {
        bool succeeded = true;
        RunEnd end = RunEnd::Completed;
        int lost = 0;
        std::string shortfall;
    };
    Ending m_ending;
    bool m_bSummaryMarked = false;
    bool m_bCloseWhenDone = false;  // a close asked while the summary was on its way
    bool m_bSummaryAfterClose = false;  // the run ended by a close; the next close closes

    QGridLayout* m_panelGrid = nullptr;
    QLabel* m_device = nullptr;
    QLabel* m_files = nullptr;
    QLabel* m_nextSerial = nullptr;
    QLabel* m_passed = nullptr;
    QLabel* m_failed = nullptr;
    QLabel* m_yield = nullptr;
    QLabel* m_summary = nullptr;
    QTreeWidget* m_results = nullptr;
    QPlainTextEdit* m_messages = nullptr;
};

}  // namespace oriole
