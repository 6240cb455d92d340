#include "BlockAppsViewController.h"

#include "controls/ToggleSwitch.h"
#include "core/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "platform/Workspace.h"
#include "texts/LocalizedText.h"

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

BlockAppsViewController::BlockAppsViewController(PinGate *gate, ApplicationBlocker *blocker, QWidget *parent)
    : QWidget(parent)
    , lblBlockApps(new QLabel(this))
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
                       [this](const QVariant &) { lblBlockApps->setText(localizedText(QStringLiteral("Block Apps"))); });
    blockedAppDetails = PreferencesStore::shared().stringArrayForKey(PrefKey::blockedAppDetails);

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
    layout->addWidget(tableBox);
    layout->addStretch();

    if (m_blocker && m_blocker->shared())
        connect(m_blocker->shared(), &Workspace::applicationActivated, this, &BlockAppsViewController::printMe);
}

void BlockAppsViewController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    lblBlockApps->setText(localizedText(QStringLiteral("Block Apps")));
}

void BlockAppsViewController::setWholeData(const QList<ApplicationDetail> &rows)
{
    m_wholeData = rows;
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
        cell->appSwitch->setChecked(blockedAppDetails.contains(app.name));
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
    if (PreferencesStore::shared().boolForKey(PrefKey::isPinEnable))
        blockStatus = false;
    // Without PIN protection the gate applies the change at once.
    m_gate->ask(PinAction::UnblockApplication, this);
}

void BlockAppsViewController::performPinAction(PinAction::Code, std::function<void(bool)> finish)
{
    applyChange(m_pending, false);
    finish(true);
}

void BlockAppsViewController::applyChange(const ApplicationDetail &app, bool block)
{
    if (app.name.isEmpty())
        return;
    if (block && !blockedAppDetails.contains(app.name))
        blockedAppDetails.append(app.name);
    else if (!block)
        blockedAppDetails.removeAll(app.name);
    PreferencesStore &prefs = PreferencesStore::shared();
    prefs.setStringArray(PrefKey::blockedAppDetails, blockedAppDetails);
    prefs.synchronize();
    for (ApplicationDetail &row : m_wholeData) {
        if (row.name == app.name)
            row.state = block;
    }
    showSwitchStates();
    Log::line(QStringLiteral("%1 - %2").arg(block ? QStringLiteral("Blocked") : QStringLiteral("Unblocked"), app.name));
    // Only a newly blocked application is stopped: one just allowed keeps its unsaved work.
    if (block && m_blocker)
        m_blocker->quitApplication(app.name);
}

void BlockAppsViewController::showSwitchStates()
{
    // Rows of one name share the stored entry, so their switches move together.
    for (int row = 0; row < m_wholeData.size(); ++row) {
        if (auto *cell = qobject_cast<AppsTableCell *>(blockAppsTableView->indexWidget(m_model->index(row, 0))))
            cell->appSwitch->setChecked(blockedAppDetails.contains(m_wholeData.at(row).name));
    }
}

void BlockAppsViewController::updateSwitchStateWithNotification(const QVariant &object)
{
    // The PIN was not given: the application stays blocked, and its switch shows it.
    if (object.typeId() == QMetaType::Bool && object.toBool() && blockAppSwitch)
        blockAppSwitch->setChecked(true);
}

void BlockAppsViewController::printMe(const QString &localizedName)
{
    if (!m_blocker)
        return;
    for (const ApplicationDetail &row : std::as_const(m_wholeData)) {
        if (row.state && row.name == localizedName)
            m_blocker->block(row.name);
    }
}
