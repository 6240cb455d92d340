#include "FocusViewController.h"

#include "FocusParts.h"
#include "ScheduleEditor.h"
#include "api/CommonWS.h"
#include "api/FocusState.h"
#include "core/Clock.h"
#include "platform/AlertPresenter.h"
#include "platform/NotificationCenter.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"
#include "ui/Style.h"

#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTimeEdit>
#include <QTimeZone>
#include <QVBoxLayout>

namespace {
constexpr int customButton = 5;
constexpr int untilButton = 6;
constexpr qint64 shortestMinutes = 15;
constexpr qint64 longestMinutes = 24 * 60;

QLabel *heading(const QString &name, int pixels, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setStyleSheet(QStringLiteral("font-size: %1px; font-weight: 600; color: rgba(0, 0, 0, 0.85);").arg(pixels));
    return label;
}

QLabel *plain(const QString &name, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #52606d;"));
    return label;
}

QString presetText(int minutes)
{
    return minutes < 60 ? QStringLiteral("%1 min").arg(minutes) : QStringLiteral("%1 h").arg(minutes / 60);
}

// "yyyy-MM-dd HH:mm:ss" UTC from the server, as this computer's "HH:mm".
QString localTime(const QString &utc)
{
    QDateTime time = QDateTime::fromString(utc, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!time.isValid())
        return {};
    time.setTimeZone(QTimeZone::utc());
    return time.toLocalTime().toString(QStringLiteral("HH:mm"));
}
} // namespace

const QList<int> &FocusViewController::presetMinutes()
{
    static const QList<int> presets{15, 30, 60, 120, 240};
    return presets;
}

FocusViewController::FocusViewController(FocusState *state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
{
    setObjectName(QStringLiteral("FocusViewController"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->setSpacing(8);

    m_titleLabel = heading(QStringLiteral("m_titleLabel"), 17, this);
    layout->addWidget(m_titleLabel);
    m_unavailableLabel = plain(QStringLiteral("m_unavailableLabel"), this);
    m_unavailableLabel->hide();
    layout->addWidget(m_unavailableLabel);

    m_content = new QWidget(this);
    m_content->setObjectName(QStringLiteral("m_content"));
    auto *content = new QVBoxLayout(m_content);
    content->setContentsMargins(0, 0, 0, 0);
    content->setSpacing(6);
    layout->addWidget(m_content, 1);
    // Keeps the title at the top while the content is hidden.
    layout->addStretch();

    m_sessionStack = new QStackedWidget(m_content);
    m_sessionStack->setObjectName(QStringLiteral("m_sessionStack"));
    content->addWidget(m_sessionStack);

    // Not running: how long, and what else to block.
    m_startPage = new QWidget(m_sessionStack);
    m_startPage->setObjectName(QStringLiteral("m_startPage"));
    auto *start = new QVBoxLayout(m_startPage);
    start->setContentsMargins(0, 0, 0, 0);
    start->setSpacing(6);
    m_startTitle = heading(QStringLiteral("m_startTitle"), 14, m_startPage);
    start->addWidget(m_startTitle);
    m_durationGroup = new QButtonGroup(this);
    m_durationGroup->setObjectName(QStringLiteral("m_durationGroup"));
    auto *durations = new QHBoxLayout;
    durations->setSpacing(4);
    for (int i = 0; i < presetMinutes().size() + 2; ++i) {
        auto *button = new QPushButton(m_startPage);
        button->setObjectName(QStringLiteral("m_durationButton%1").arg(i));
        button->setCheckable(true);
        button->setCursor(Qt::PointingHandCursor);
        m_durationGroup->addButton(button, i);
        m_durationButtons << button;
        durations->addWidget(button);
    }
    m_durationButtons.first()->setChecked(true);
    start->addLayout(durations);
    auto *choice = new QHBoxLayout;
    m_customMinutes = new QSpinBox(m_startPage);
    m_customMinutes->setObjectName(QStringLiteral("m_customMinutes"));
    m_customMinutes->setRange(int(shortestMinutes), int(longestMinutes));
    m_customMinutes->setSingleStep(15);
    m_customMinutes->setValue(90);
    m_customMinutes->setSuffix(QStringLiteral(" min"));
    m_untilTime = new QTimeEdit(m_startPage);
    m_untilTime->setObjectName(QStringLiteral("m_untilTime"));
    m_untilTime->setDisplayFormat(QStringLiteral("HH:mm"));
    m_untilTime->setTime(QTime(17, 0));
    choice->addWidget(m_customMinutes);
    choice->addWidget(m_untilTime);
    choice->addStretch();
    start->addLayout(choice);
    m_sitesLabel = plain(QStringLiteral("m_sitesLabel"), m_startPage);
    start->addWidget(m_sitesLabel);
    m_sitesEdit = new QLineEdit(m_startPage);
    m_sitesEdit->setObjectName(QStringLiteral("m_sitesEdit"));
    m_sitesEdit->setPlaceholderText(QStringLiteral("news.example.com, video.example.org"));
    start->addWidget(m_sitesEdit);
    m_categoriesLabel = plain(QStringLiteral("m_categoriesLabel"), m_startPage);
    start->addWidget(m_categoriesLabel);
    m_categoriesModel = new QStandardItemModel(this);
    m_categoriesView = FocusParts::categoryPicker(QStringLiteral("m_categoriesView"), m_categoriesModel, m_startPage);
    start->addWidget(m_categoriesView);
    m_lockLine = plain(QStringLiteral("m_lockLine"), m_startPage);
    m_lockLine->hide();
    start->addWidget(m_lockLine);
    m_startButton = new QPushButton(m_startPage);
    m_startButton->setObjectName(QStringLiteral("m_startButton"));
    m_startButton->setStyleSheet(Style::orangeButton());
    m_startButton->setCursor(Qt::PointingHandCursor);
    auto *startRow = new QHBoxLayout;
    startRow->addWidget(m_startButton);
    startRow->addStretch();
    start->addLayout(startRow);
    m_sessionStack->addWidget(m_startPage);

    // Running: the countdown and what the session adds.
    m_runningPage = new QWidget(m_sessionStack);
    m_runningPage->setObjectName(QStringLiteral("m_runningPage"));
    auto *running = new QVBoxLayout(m_runningPage);
    running->setContentsMargins(0, 0, 0, 0);
    running->setSpacing(6);
    m_runningTitle = heading(QStringLiteral("m_runningTitle"), 14, m_runningPage);
    running->addWidget(m_runningTitle);
    m_countdownLabel = new QLabel(m_runningPage);
    m_countdownLabel->setObjectName(QStringLiteral("m_countdownLabel"));
    m_countdownLabel->setStyleSheet(
        QStringLiteral("font-size: 44px; font-weight: 600; color: %1;").arg(Style::commonOrange.name()));
    running->addWidget(m_countdownLabel);
    m_endsLabel = plain(QStringLiteral("m_endsLabel"), m_runningPage);
    running->addWidget(m_endsLabel);
    m_addsLabel = plain(QStringLiteral("m_addsLabel"), m_runningPage);
    running->addWidget(m_addsLabel);
    m_heldLabel = plain(QStringLiteral("m_heldLabel"), m_runningPage);
    running->addWidget(m_heldLabel);
    running->addStretch();
    m_sessionStack->addWidget(m_runningPage);

    m_busy = FocusParts::busyBar(QStringLiteral("m_busy"), m_content);
    content->addWidget(m_busy);
    m_errorLine = FocusParts::errorLine(QStringLiteral("m_errorLine"), m_content);
    content->addWidget(m_errorLine);

    auto *rule = new QFrame(m_content);
    rule->setFrameShape(QFrame::HLine);
    rule->setStyleSheet(QStringLiteral("color: #e4e7eb;"));
    content->addWidget(rule);
    m_schedulesTitle = heading(QStringLiteral("m_schedulesTitle"), 14, m_content);
    content->addWidget(m_schedulesTitle);
    m_scheduleModel = new QStandardItemModel(this);
    m_scheduleView = new QListView(m_content);
    m_scheduleView->setObjectName(QStringLiteral("m_scheduleView"));
    m_scheduleView->setModel(m_scheduleModel);
    m_scheduleView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_scheduleView->setMinimumHeight(60);
    content->addWidget(m_scheduleView, 1);
    auto *scheduleButtons = new QHBoxLayout;
    m_addScheduleButton = new QPushButton(m_content);
    m_addScheduleButton->setObjectName(QStringLiteral("m_addScheduleButton"));
    m_editScheduleButton = new QPushButton(m_content);
    m_editScheduleButton->setObjectName(QStringLiteral("m_editScheduleButton"));
    m_deleteScheduleButton = new QPushButton(m_content);
    m_deleteScheduleButton->setObjectName(QStringLiteral("m_deleteScheduleButton"));
    scheduleButtons->addWidget(m_addScheduleButton);
    scheduleButtons->addWidget(m_editScheduleButton);
    scheduleButtons->addWidget(m_deleteScheduleButton);
    scheduleButtons->addStretch();
    content->addLayout(scheduleButtons);

    connect(m_durationGroup, &QButtonGroup::idToggled, this, [this](int, bool) { refresh(); });
    connect(m_startButton, &QPushButton::clicked, this, &FocusViewController::startSession);
    connect(m_addScheduleButton, &QPushButton::clicked, this, [this] { editSchedule(-1); });
    connect(m_editScheduleButton, &QPushButton::clicked, this,
            [this] { editSchedule(m_scheduleView->currentIndex().row()); });
    connect(m_deleteScheduleButton, &QPushButton::clicked, this,
            [this] { deleteSchedule(m_scheduleView->currentIndex().row()); });
    connect(m_scheduleView, &QListView::doubleClicked, this,
            [this](const QModelIndex &index) { editSchedule(index.row()); });
    connect(m_scheduleView->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { refresh(); });
    if (m_state) {
        connect(m_state, &FocusState::changed, this, [this] {
            refreshSchedules();
            refresh();
        });
        connect(m_state, &FocusState::ticked, this, &FocusViewController::refreshCountdown);
        connect(m_state, &FocusState::refreshingChanged, this, &FocusViewController::refresh);
    }
    NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("UpdateChooseLanguage"),
                                                    [this](const QVariant &) {
                                                        setTexts();
                                                        refreshSchedules();
                                                        refresh();
                                                    });
    setTexts();
    refreshSchedules();
    refresh();
}

void FocusViewController::setTexts()
{
    m_titleLabel->setText(localizedText(QStringLiteral("Focus")));
    m_unavailableLabel->setText(localizedText(QStringLiteral("This server does not offer focus sessions.")));
    m_startTitle->setText(localizedText(QStringLiteral("Hold every block for")));
    for (int i = 0; i < presetMinutes().size(); ++i)
        m_durationButtons.at(i)->setText(presetText(presetMinutes().at(i)));
    m_durationButtons.at(customButton)->setText(localizedText(QStringLiteral("Custom")));
    m_durationButtons.at(untilButton)->setText(localizedText(QStringLiteral("Until")));
    m_sitesLabel->setText(localizedText(QStringLiteral("Also block these sites (optional)")));
    m_categoriesLabel->setText(localizedText(QStringLiteral("Also block these categories (optional)")));
    m_startButton->setText(localizedText(QStringLiteral("Start focus session")));
    m_runningTitle->setText(localizedText(QStringLiteral("Focus session running")));
    m_heldLabel->setText(
        localizedText(QStringLiteral("Until it ends, nothing can be unblocked and protection stays on.")));
    m_schedulesTitle->setText(localizedText(QStringLiteral("Weekly windows")));
    m_addScheduleButton->setText(localizedText(QStringLiteral("Add window")));
    m_editScheduleButton->setText(localizedText(QStringLiteral("Edit")));
    m_deleteScheduleButton->setText(localizedText(QStringLiteral("Delete")));
}

void FocusViewController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous() || !m_state)
        return;
    requestCategories();
    // The lock may have changed elsewhere (another computer, a window's edge).
    if (m_state->offer() != FocusState::Offer::missing)
        m_state->refresh();
}

void FocusViewController::requestCategories()
{
    if (m_categoriesAsked)
        return;
    m_categoriesAsked = true;
    QPointer<FocusViewController> self(this);
    setBusy(true);
    CommonWS::shared().getCategories(
        [self](const BaseModel<CategoryList> &record, bool ok) {
            if (!self)
                return;
            self->setBusy(false);
            if (!ok || !record.status || !record.data) {
                self->m_categoriesAsked = false; // asked again next time the screen shows
                return;
            }
            self->m_categories = *record.data;
            FocusParts::fillCategories(self->m_categoriesModel, self->m_categories, {});
            self->refresh();
        },
        [self] {
            if (!self)
                return;
            self->setBusy(false);
            self->m_categoriesAsked = false;
        });
}

std::optional<qint64> FocusViewController::minutesUntil(const QTime &now, const QTime &until)
{
    const int seconds = now.secsTo(until);
    if (seconds <= 0)
        return std::nullopt;
    return (seconds + 59) / 60;
}

std::optional<qint64> FocusViewController::chosenMinutes()
{
    const int chosen = m_durationGroup->checkedId();
    if (chosen >= 0 && chosen < presetMinutes().size())
        return presetMinutes().at(chosen);
    if (chosen == customButton)
        return m_customMinutes->value();
    const std::optional<qint64> minutes =
        minutesUntil(Clock::shared().now().toLocalTime().time(), m_untilTime->time());
    if (!minutes) {
        showRefusal(localizedText(QStringLiteral("Choose a time later today.")));
        return std::nullopt;
    }
    if (*minutes < shortestMinutes) {
        showRefusal(localizedText(QStringLiteral("A focus session lasts at least 15 minutes.")));
        return std::nullopt;
    }
    return minutes;
}

void FocusViewController::startSession()
{
    if (isBusy())
        return;
    m_errorLine->hide();
    const std::optional<qint64> minutes = chosenMinutes();
    if (!minutes)
        return;
    setBusy(true);
    QPointer<FocusViewController> self(this);
    CommonWS::shared().focusStart(
        *minutes, FocusParts::sitesFrom(m_sitesEdit->text()), FocusParts::checkedCategories(m_categoriesModel),
        [self](const BaseModel<FocusStatusModel> &record, bool ok) {
            if (!self)
                return;
            self->setBusy(false);
            if (!ok) {
                self->showRefusal(localizedText(QStringLiteral("The server's answer could not be read.")));
                return;
            }
            if (!record.status) {
                self->showRefusal(serverText(record.msg));
                return;
            }
            self->m_sitesEdit->clear();
            FocusParts::fillCategories(self->m_categoriesModel, self->m_categories, {});
        },
        [self] {
            if (self) {
                self->setBusy(false);
                self->showRefusal(localizedText(QStringLiteral("The server did not answer. Please try again.")));
            }
        });
}

void FocusViewController::editSchedule(int row)
{
    if (isBusy() || !m_state)
        return;
    ScheduleModel window;
    if (row >= 0 && row < m_state->schedules().size()) {
        window = m_state->schedules().at(row);
    } else {
        window.days = {1, 2, 3, 4, 5};
        window.start = QStringLiteral("09:00");
        window.end = QStringLiteral("17:00");
    }
    m_errorLine->hide();
    delete m_editor;
    m_editor = new ScheduleEditor(window, m_categories, this);
    if (!CommmonFunction::shared().beginSheet(m_editor))
        m_editor->open();
}

void FocusViewController::deleteSchedule(int row)
{
    if (isBusy() || !m_state || row < 0 || row >= m_state->schedules().size())
        return;
    const ScheduleModel window = m_state->schedules().at(row);
    QPointer<FocusViewController> self(this);
    AlertPresenter::shared().showChoiceAlert(
        localizedText(QStringLiteral("Delete the window \"%1\"?")).arg(window.name), QString(),
        {localizedText(QStringLiteral("Delete")), localizedText(QStringLiteral("Cancel"))}, [self, window](int choice) {
            if (!self || choice != 0)
                return;
            self->m_errorLine->hide();
            self->setBusy(true);
            CommonWS::shared().deleteSchedule(
                window.id,
                [self](const BaseModel<FocusStatusModel> &record, bool ok) {
                    if (!self)
                        return;
                    self->setBusy(false);
                    if (!ok)
                        self->showRefusal(localizedText(QStringLiteral("The server's answer could not be read.")));
                    else if (!record.status)
                        self->showRefusal(serverText(record.msg));
                },
                [self] {
                    if (self) {
                        self->setBusy(false);
                        self->showRefusal(localizedText(QStringLiteral("The server did not answer. Please try again.")));
                    }
                });
        });
}

bool FocusViewController::isBusy() const
{
    return m_calls > 0 || (m_state && m_state->isRefreshing());
}

void FocusViewController::setBusy(bool busy)
{
    m_calls = qMax(0, m_calls + (busy ? 1 : -1));
    refresh();
}

void FocusViewController::showRefusal(const QString &message)
{
    // One line: the server's words as they came, without the line breaks of a long message.
    m_errorLine->setText(message.simplified());
    m_errorLine->show();
}

QString FocusViewController::categoryNames(const QList<qint64> &ids) const
{
    QStringList names;
    for (qint64 id : ids) {
        const auto it = std::find_if(m_categories.begin(), m_categories.end(),
                                     [id](const CategoryBlockingModel &c) { return c.id == id; });
        names << (it != m_categories.end() ? it->name : QString::number(id));
    }
    return names.join(QStringLiteral(", "));
}

void FocusViewController::refresh()
{
    const bool missing = m_state && m_state->offer() == FocusState::Offer::missing;
    m_unavailableLabel->setVisible(missing);
    m_content->setVisible(!missing);
    const bool busy = isBusy();
    m_busy->setVisible(busy);

    const std::optional<FocusSessionModel> session = m_state ? m_state->session() : std::nullopt;
    m_sessionStack->setCurrentWidget(session ? m_runningPage : m_startPage);
    const int chosen = m_durationGroup->checkedId();
    m_customMinutes->setVisible(chosen == customButton);
    m_untilTime->setVisible(chosen == untilButton);
    m_startButton->setEnabled(!busy);
    const bool chosenRow = m_scheduleView->currentIndex().isValid();
    m_addScheduleButton->setEnabled(!busy);
    m_editScheduleButton->setEnabled(!busy && chosenRow);
    m_deleteScheduleButton->setEnabled(!busy && chosenRow);

    if (session) {
        m_endsLabel->setText(localizedText(QStringLiteral("Ends at %1")).arg(localTime(session->endsAt)));
        QStringList adds;
        if (!session->websites.isEmpty())
            adds << session->websites.join(QStringLiteral(", "));
        if (!session->categories.isEmpty())
            adds << categoryNames(session->categories);
        m_addsLabel->setText(adds.isEmpty() ? localizedText(QStringLiteral("Adds nothing to your block lists."))
                                            : localizedText(QStringLiteral("Also blocks: %1")).arg(adds.join(QStringLiteral("; "))));
    }
    refreshCountdown();
}

void FocusViewController::refreshCountdown()
{
    if (!m_state)
        return;
    // Counted down to the end: the form comes back (the state asks the server meanwhile).
    const bool running = m_state->sessionSecondsLeft() > 0;
    if (running != (m_sessionStack->currentWidget() == m_runningPage)) {
        refresh();
        return;
    }
    if (running)
        m_countdownLabel->setText(FocusState::countdown(m_state->sessionSecondsLeft()));
    // Held by a locking window without a session: said on the form.
    const qint64 lock = m_state->lockSecondsLeft();
    m_lockLine->setVisible(!running && lock > 0);
    if (!running && lock > 0)
        m_lockLine->setText(localizedText(QStringLiteral("A weekly window holds your blocks for %1 more."))
                                .arg(FocusState::describeLeft(lock)));
}

void FocusViewController::refreshSchedules()
{
    const int current = m_scheduleView->currentIndex().row();
    m_scheduleModel->clear();
    if (!m_state)
        return;
    for (const ScheduleModel &window : m_state->schedules()) {
        QStringList parts{window.name, FocusParts::describeDays(window.days),
                          QStringLiteral("%1–%2").arg(window.start, window.end)};
        if (window.locks)
            parts << localizedText(QStringLiteral("locks"));
        if (window.open)
            parts << localizedText(QStringLiteral("open now"));
        auto *item = new QStandardItem(parts.join(QStringLiteral(" · ")));
        item->setData(window.id, Qt::UserRole);
        m_scheduleModel->appendRow(item);
    }
    if (current >= 0 && current < m_scheduleModel->rowCount())
        m_scheduleView->setCurrentIndex(m_scheduleModel->index(current, 0));
}
