#pragma once
// The production window (resource 150): a setting file programmed into chip
// after chip, as `oriole-cli run` does, with the steps, the serial rule, the
// boxes, the repeat and the log shown and changeable before a start. The
// run itself is the production library's: it runs on worker threads, and
// what it reports comes to this window through the event loop, which never
// waits for a box. Stop ends the run after the chips being programmed.

#include <QMap>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "production/ProductionRun.h"
#include "views/ResDialog.h"

class QCloseEvent;

namespace oriole {

class CProductionDlg final : public CResDialog {
    Q_OBJECT
public:
    struct Options {
        QString settingFile;
        // Writer specs of the command line; empty: the setting file's writer.
        QStringList writers;
        // How often a waiting box asks for its chip.
        std::chrono::milliseconds poll{250};
        // Asks for an existing file, starting in `folder`; empty when the user
        // cancels. Null: the platform's open dialog.
        std::function<QString(QWidget* parent, const QString& folder, const QStringList& filters)>
            chooseFile;
    };

    explicit CProductionDlg(Options options, QWidget* parent = nullptr);
    ~CProductionDlg() override;

    [[nodiscard]] bool IsRunning() const { return m_run != nullptr; }

    // Reads the setting file named in the path box into the controls.
    void LoadSettingFile();
    // Starts a run with what the controls say; false (and a message in the
    // window) when it cannot start.
    bool Start();
    // Ends the run after the chips being programmed.
    void Stop();

public slots:
    // Nothing but the close button and the close box ends the window.
    void accept() override {}
    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowJob(const ProductionJob& job);
    // The job of the setting file with the controls' changes; false with the reason.
    [[nodiscard]] bool TakeControls(ProductionJob& job, ProductionOptions& options,
                                    std::string& error) const;
    [[nodiscard]] bool TakeSerialRule(ProductionJob& job, std::string& error) const;
    void ShowLogTail(const QString& path);
    void SetRunning(bool running);
    void ApplySerialBox();
    // Puts the chosen file in the box; false when none was chosen.
    [[nodiscard]] bool Browse(int editId, const char* filter);
    void OnAllWriters();
    void OnClose();

    // From the run's threads, through the event loop.
    void OnChip(const ChipRecord& record);
    void OnMessage(const QString& box, const QString& message);
    void OnState(const QString& box, BoxState state);
    void OnFinished();

    Options m_options;
    QString m_loadedPath;  // the setting file as last read into the controls
    QString m_fileWriter;  // its writer
    std::unique_ptr<CProductionRun> m_run;
    std::thread m_worker;
    QMap<QString, QString> m_boxStates;  // each box's state line, by its name
    int m_nPassed = 0;
    int m_nFailed = 0;
    bool m_bCloseWhenDone = false;
};

}  // namespace oriole
