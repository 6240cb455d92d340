#include "BlockAppsViewController.h"

#include "api/CommonWS.h"
#include "controls/ToggleSwitch.h"
#include "core/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "platform/Workspace.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QShowEvent>
#include <QStandardItemModel>
#include <QVBoxLayout>

AppsTableCell::AppsTableCell(QWidget *parent)
    : QWidget(parent)
    , imgAppLogo(new QLabel(this))
    , appName(new QLabel(this))
    , appSwitch(new ToggleSwitch(this))
{
    setObjectName(QStringLiteral("AppsTableCell"));
    imgAppLogo->setObjectName(QStringLiteral("imgAppLogo"));
    appName->setObjectName(QStringLiteral("appName"));
    appSwitch->setObjectName(QStringLiteral("appSwitch"));
    imgAppLogo->setFixedSize(28, 28);
    appName->setStyleSheet(QStringLiteral("font-size: 13px; color: #1f2933;"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 0, 14, 0);
    layout->setSpacing(12);
    layout->addWidget(imgAppLogo);
    layout->addWidget(appName, 1);
    layout->addWidget(appSwitch);
}

BlockAppsViewController::BlockAppsViewController(ChangeGate *gate, ApplicationBlocker *blocker, QWidget *parent)
    : QWidget(parent)
    , lblBlockApps(new QLabel(this))
    , m_lblNotice(new QLabel(this))
    , tableBox(new QFrame(this))
    , blockAppsTableView(new QListView(tableBox))
    , m_gate(gate)
    , m_blocker(blocker)
    , m_model(new QStandardItemModel(this))
{
    setObjectName(QStringLiteral("BlockAppsViewController"));
    NotificationCenter &center = NotificationCenter::defaultCenter();
    center.addObserver(this, QStringLiteral("BlockAppSwitchState"),
                       [this](const QVariant &object) { updateSwitchStateWithNotification(object); });
    center.addObserver(this, QStringLiteral("UpdateChooseLanguage"),
                       [this](const QVariant &) {
                           lblBlockApps->setText(localizedText(QStringLiteral("Block Apps")));
                           showNotice();
                       });
    if (m_blocker) {
        blockedAppDetails = m_blocker->blockedIDs();
        // The account's answer or another screen changed the list.
        connect(m_blocker, &ApplicationBlocker::blockedAppsChanged, this, [this] {
            blockedAppDetails = m_blocker->blockedIDs();
            showSwitchStates();
        });
    }

    lblBlockApps->setObjectName(QStringLiteral("lblBlockApps"));
    QFont title = lblBlockApps->font();
    title.setPixelSize(17);
    title.setWeight(QFont::DemiBold);
    lblBlockApps->setFont(title);
    lblBlockApps->setStyleSheet(QStringLiteral("color: rgba(0, 0, 0, 217);"));

    tableBox->setObjectName(QStringLiteral("tableBox"));
    tableBox->setStyleSheet(
        QStringLiteral("QFrame#tableBox { background: white; border: 1px solid #e3e6ea; border-radius: 12px; }"));
    auto *shadow = new QGraphicsDropShadowEffect(tableBox);
    shadow->setOffset(0, 2);
    shadow->setBlurRadius(3);
    shadow->setColor(QColor(0xD3, 0xD3, 0xD3));
    tableBox->setGraphicsEffect(shadow);
    // Eight rows of 47 would need 376 + 2; the frame stays at 378 and the list scrolls in it.
    tableBox->setFixedHeight(MaxRows * cellHeight <= 375 ? MaxRows * cellHeight + 2 : 378);

    blockAppsTableView->setObjectName(QStringLiteral("blockAppsTableView"));
    blockAppsTableView->setModel(m_model);
    blockAppsTableView->setFrameShape(QFrame::NoFrame);
    blockAppsTableView->setSelectionMode(QAbstractItemView::NoSelection);
    blockAppsTableView->setFocusPolicy(Qt::NoFocus);
    blockAppsTableView->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    blockAppsTableView->setStyleSheet(
        QStringLiteral("QListView { background: transparent; }"
                       "QListView::item { border-bottom: 1px solid #eef0f3; }"
                       "QScrollBar:vertical { width: 10px; background: transparent; margin: 2px 2px 2px 0; }"
                       "QScrollBar::handle:vertical { background: #c8ccd2; border-radius: 4px; min-height: 24px; }"
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
                       "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
    auto *boxLayout = new QVBoxLayout(tableBox);
    boxLayout->setContentsMargins(1, 6, 1, 6);
    boxLayout->addWidget(blockAppsTableView);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 30, 32, 28);
    layout->setSpacing(16);
    layout->addWidget(lblBlockApps);
    layout->addWidget(m_lblNotice);
    layout->addWidget(tableBox);
    layout->addStretch();

    if (m_blocker && m_blocker->shared())
        connect(m_blocker->shared(), &Workspace::applicationActivated, this, &BlockAppsViewController::printMe);

    m_lblNotice->setObjectName(QStringLiteral("m_lblNotice"));
    m_lblNotice->setStyleSheet(QStringLiteral("font-size: 12px; color: #b44d12;"));
    // Said rather than silently off: the switches would show blocks nothing enforces.
    m_lblNotice->setVisible(m_blocker && m_blocker->shared() && !m_blocker->shared()->seesApplications());
    showNotice();
}

void BlockAppsViewController::showNotice()
{
    m_lblNotice->setText(localizedText(QStringLiteral("This session does not show which applications start, so they cannot be blocked here.")));
}

void BlockAppsViewController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    lblBlockApps->setText(localizedText(QStringLiteral("Block Apps")));
    showNotice();
}

void BlockAppsViewController::setWholeData(const QList<ApplicationDetail> &rows)
{
    m_wholeData = rows;
    for (ApplicationDetail &app : m_wholeData)
        app.state = blockedAppDetails.contains(app.id);
    reloadRows();
}

void BlockAppsViewController::reloadRows()
{
    m_model->clear();
    for (int row = 0; row < m_wholeData.size(); ++row) {
        const ApplicationDetail &app = m_wholeData.at(row);
        auto *item = new QStandardItem;
        item->setSizeHint(QSize(0, cellHeight));
        item->setEditable(false);
        m_model->appendRow(item);
        auto *cell = new AppsTableCell;
        cell->imgAppLogo->setPixmap(app.icon.pixmap(28, 28));
        cell->appName->setText(app.name);
        cell->appSwitch->setChecked(blockedAppDetails.contains(app.id));
        cell->appSwitch->setProperty("tag", row);
        ToggleSwitch *appSwitch = cell->appSwitch;
        connect(appSwitch, &QAbstractButton::clicked, this, [this, appSwitch] { switchAppBlockUnblock(appSwitch); });
        blockAppsTableView->setIndexWidget(m_model->index(row, 0), cell);
    }
}

void BlockAppsViewController::switchAppBlockUnblock(ToggleSwitch *sender)
{
    const int tag = sender->property("tag").toInt();
    Log::line(QStringLiteral("Switch Tapped - %1").arg(tag));
    if (tag < 0 || tag >= m_wholeData.size())
        return;
    blockAppSwitch = sender;
    m_pending = m_wholeData.at(tag);
    if (sender->isChecked()) {
        blockStatus = true;
        applyChange(m_pending, true);
        return;
    }
    if (!CommonWS::signedIn()) {
        // Nobody to ask the PIN of: a signed-out computer keeps every block.
        sender->setChecked(true);
        CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")),
                                         messageText(QStringLiteral("Sign in to unblock an application.")),
                                         [] { CommmonFunction::shared().showLogIn(); });
        return;
    }
    if (PreferencesStore::shared().boolForKey(PrefKey::isPinEnable))
        blockStatus = false;
    // Without PIN protection the gate applies the change at once.
    m_gate->ask(PinAction::UnblockApplication, this);
}

void BlockAppsViewController::performPinAction(PinAction::Code, std::function<void(bool)> finish)
{
    applyChange(m_pending, false, [finish] { finish(true); });
}

void BlockAppsViewController::applyChange(const ApplicationDetail &app, bool block, std::function<void()> finished)
{
    if (app.id.isEmpty() || !m_blocker) {
        if (finished)
            finished();
        return;
    }
    if (block) {
        m_blocker->blockApp(app.id, app.name);
        // Only a newly blocked application is stopped: one just allowed keeps its unsaved work.
        m_blocker->quitApplication(app.id);
        if (finished)
            finished();
        return;
    }
    QPointer<BlockAppsViewController> self(this);
    m_blocker->unblockApp(app.id, [self, finished](bool unblocked, const QString &refusal) {
        if (self) {
            if (!unblocked) {
                CommmonFunction::showCommonAlert(
                    messageText(QStringLiteral("Ooops")),
                    refusal.isEmpty() ? messageText(QStringLiteral("The application stays blocked: the server could "
                                                                   "not be reached."))
                                      : refusal);
            }
            self->blockedAppDetails = self->m_blocker->blockedIDs();
            self->showSwitchStates();
        }
        if (finished)
            finished();
    });
}

void BlockAppsViewController::showSwitchStates()
{
    for (int row = 0; row < m_wholeData.size(); ++row) {
        ApplicationDetail &app = m_wholeData[row];
        app.state = blockedAppDetails.contains(app.id);
        if (auto *cell = qobject_cast<AppsTableCell *>(blockAppsTableView->indexWidget(m_model->index(row, 0))))
            cell->appSwitch->setChecked(app.state);
    }
}

void BlockAppsViewController::updateSwitchStateWithNotification(const QVariant &object)
{
    // The PIN was not given: the application stays blocked, and its switch shows it.
    if (object.typeId() == QMetaType::Bool && object.toBool() && blockAppSwitch)
        blockAppSwitch->setChecked(true);
}

void BlockAppsViewController::printMe(const QString &appID, const QString &localizedName)
{
    if (!m_blocker)
        return;
    for (const ApplicationDetail &row : std::as_const(m_wholeData)) {
        if (row.state && row.id == appID)
            m_blocker->block(row.id, localizedName);
    }
}
