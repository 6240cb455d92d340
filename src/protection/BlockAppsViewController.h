#pragma once

#include "ApplicationBlocker.h"
#include "ui/ChangeGate.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

class QFrame;
class QLabel;
class QListView;
class QStandardItemModel;
class ToggleSwitch;

// One row of the Block Apps list: icon, name and the block switch.
class AppsTableCell : public QWidget
{
    Q_OBJECT
public:
    explicit AppsTableCell(QWidget *parent = nullptr);
    QLabel *imgAppLogo;
    QLabel *appName;
    ToggleSwitch *appSwitch;
};

// "Block Apps": the installed applications, each with a switch that adds it to or removes it
// from the stored blocked list. Unblocking is a protected change (PIN gate, code 4).
class BlockAppsViewController : public QWidget, public PinGatedScreen
{
    Q_OBJECT
public:
    static constexpr int cellHeight = 47;
    static constexpr int MaxRows = 8;

    BlockAppsViewController(ChangeGate *gate, ApplicationBlocker *blocker, QWidget *parent = nullptr);

    // The catalogue to show; the sidebar hands it over before the screen is shown.
    void setWholeData(const QList<ApplicationDetail> &rows);
    const QList<ApplicationDetail> &wholeData() const { return m_wholeData; }

    void switchAppBlockUnblock(ToggleSwitch *sender);
    void updateSwitchStateWithNotification(const QVariant &object);
    void printMe(const QString &appID, const QString &localizedName);
    void performPinAction(PinAction::Code code, std::function<void(bool closeDialog)> finish) override;

    QLabel *lblBlockApps;
    // One line when the session does not show which applications start.
    QLabel *m_lblNotice;
    QFrame *tableBox;
    QListView *blockAppsTableView;
    // The blocked applications' ids, as the blocker keeps them.
    QStringList blockedAppDetails;
    bool blockStatus = false;
    QPointer<ToggleSwitch> blockAppSwitch;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void reloadRows();
    // Blocks one application at once; unblocks it once the blocker says so.
    void applyChange(const ApplicationDetail &app, bool block, std::function<void()> finished = {});
    void showSwitchStates();
    void showNotice();

    ChangeGate *m_gate;
    ApplicationBlocker *m_blocker;
    QStandardItemModel *m_model;
    QList<ApplicationDetail> m_wholeData;
    // The application whose switch was tapped, kept for the PIN gate: rows may change meanwhile.
    ApplicationDetail m_pending;
};
