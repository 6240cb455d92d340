#pragma once

#include "ScheduleEditor.h"
#include "records/Records.h"

#include <QPointer>
#include <QTime>
#include <QWidget>

class FocusState;
class QAbstractButton;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QListView;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QStandardItemModel;
class QTimeEdit;


// The Focus screen: starts a session that holds every block for a time (a preset, a custom
// number of minutes, or until a time today) and may add sites and categories; while one
// runs, its countdown and what it adds. Below, the account's weekly windows with their
// editor. The server decides everything; its refusals show in one line under the controls.
class FocusViewController : public QWidget
{
    Q_OBJECT
public:
    // The durations offered as buttons, in minutes.
    static const QList<int> &presetMinutes();

    explicit FocusViewController(FocusState *state, QWidget *parent = nullptr);

    // Minutes from now to until (a time later today, rounded up); none when it has passed.
    static std::optional<qint64> minutesUntil(const QTime &now, const QTime &until);

    // Starts a session with what the form holds.
    void startSession();
    // Opens the editor for a new window (row -1) or the window at row.
    void editSchedule(int row);
    void deleteSchedule(int row);
    // The categories for the pickers (asked once, when the screen is first shown).
    void requestCategories();

    // A call of this screen is out, or the lock is being asked for.
    bool isBusy() const;
    ScheduleEditor *editor() const { return m_editor; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void setTexts();
    void refresh();
    void refreshCountdown();
    void refreshSchedules();
    void setBusy(bool busy);
    void showRefusal(const QString &message);
    // The minutes the form asks for; none (and the reason shown) when they cannot be had.
    std::optional<qint64> chosenMinutes();
    QString categoryNames(const QList<qint64> &ids) const;

    QPointer<FocusState> m_state;
    CategoryList m_categories;
    bool m_categoriesAsked = false;
    int m_calls = 0;

    QLabel *m_titleLabel;
    QLabel *m_unavailableLabel;
    QWidget *m_content;
    QStackedWidget *m_sessionStack;
    // Not running: the start form.
    QWidget *m_startPage;
    QLabel *m_startTitle;
    QButtonGroup *m_durationGroup;
    QList<QPushButton *> m_durationButtons; // the presets, then "Custom" and "Until"
    QSpinBox *m_customMinutes;
    QTimeEdit *m_untilTime;
    QLabel *m_sitesLabel;
    QLineEdit *m_sitesEdit;
    QLabel *m_categoriesLabel;
    QListView *m_categoriesView;
    QStandardItemModel *m_categoriesModel;
    QLabel *m_lockLine;
    QPushButton *m_startButton;
    // Running: the countdown.
    QWidget *m_runningPage;
    QLabel *m_runningTitle;
    QLabel *m_countdownLabel;
    QLabel *m_endsLabel;
    QLabel *m_addsLabel;
    QLabel *m_heldLabel;
    // Both: busy bar and the refusal line.
    QProgressBar *m_busy;
    QLabel *m_errorLine;
    // The weekly windows.
    QLabel *m_schedulesTitle;
    QListView *m_scheduleView;
    QStandardItemModel *m_scheduleModel;
    QPushButton *m_addScheduleButton;
    QPushButton *m_editScheduleButton;
    QPushButton *m_deleteScheduleButton;
    QPointer<ScheduleEditor> m_editor;
};
