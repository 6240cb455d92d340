#pragma once

#include "CategoriesModel.h"
#include "ui/ChangeGate.h"

#include <QPointer>
#include <QWidget>
#include <optional>

class QFrame;
class QLabel;
class QListView;
class QProgressBar;
class ToggleSwitch;

// One row: the category's name and a switch that is on while the user blocks it.
class CategoryCell : public QWidget
{
    Q_OBJECT
public:
    CategoryCell(qint64 categoryID, QWidget *parent = nullptr);
    qint64 categoryID() const { return m_categoryID; }
    QLabel *lblCategory() const { return m_lblCategory; }
    ToggleSwitch *switchCategory() const { return m_switchCategory; }
    void display(const QString &name, bool on, bool busy);

signals:
    // The user moved the switch (not a change made by the screen).
    void switchToggled(qint64 categoryID, bool on);

private:
    qint64 m_categoryID;
    QLabel *m_lblCategory;
    ToggleSwitch *m_switchCategory;
};

// The categories the server knows, each with a switch: on blocks at once, off unblocks
// behind the PIN gate (code 6). The names come in the interface language.
class CategoriesBlockingViewController : public QWidget, public PinGatedScreen
{
    Q_OBJECT
public:
    explicit CategoriesBlockingViewController(ChangeGate *gate, QWidget *parent = nullptr);
    ~CategoriesBlockingViewController() override;

    void blockUnblockCategoryWithCategorySwitch(qint64 categoryID, bool on);
    void updateSwitchStateWithNotification(const QVariant &object);
    void updateLocalizationWithNotification(const QVariant &object);
    void requestList();
    void setTexts();

    void performPinAction(PinAction::Code code, std::function<void(bool closeDialog)> finish) override;

    const CategoriesModel &model() const { return m_model; }
    bool isLoading() const { return m_loading; }
    // The category whose switch was last moved by the user.
    std::optional<qint64> blockCategoryID() const { return m_blockCategoryID; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void syncCells();
    // After a refusal or no answer: the switch goes back to the server's state, then the
    // list is asked for again to learn that state afresh.
    void changeFailed(qint64 categoryID);
    void finishLoading();
    void showOrHideTable();

    // The gate may go before the screen when the window closes.
    QPointer<ChangeGate> m_gate;
    CategoriesModel m_model;
    QLabel *m_lblCategoriesBlocking;
    QProgressBar *m_busyIndicator;
    QLabel *m_lblEmptyList;
    QListView *m_tblCategories;
    QFrame *m_tableBox;
    std::optional<qint64> m_blockCategoryID;
    quint64 m_loadGeneration = 0;
    bool m_loading = false;
};
