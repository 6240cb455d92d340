#pragma once

#include "BlockedWebsitesModel.h"
#include "ui/ChangeGate.h"
#include "records/Records.h"

#include <QLineEdit>
#include <QPointer>
#include <QWidget>
#include <optional>

class QCheckBox;
class QFrame;
class QLabel;
class QListView;
class QProgressBar;
class QPushButton;

// The rows of the table the last load or change left, in the server's order. It outlives the
// screen: a screen made again shows it until its own load is in.
QList<BlockData> &blockedWebsites();

// The website field: typed text keeps leftPadding away from the left border.
class PaddedTextFieldCell : public QLineEdit
{
    Q_OBJECT
public:
    explicit PaddedTextFieldCell(QWidget *parent = nullptr);
    qreal leftPadding() const { return m_leftPadding; }
    void setLeftPadding(qreal padding);

private:
    qreal m_leftPadding = 10;
};

// One row: the site's name and a box that is ticked while the site is blocked.
class WebsiteTableCell : public QWidget
{
    Q_OBJECT
public:
    WebsiteTableCell(qint64 siteID, QWidget *parent = nullptr);
    qint64 siteID() const { return m_siteID; }
    QLabel *websiteName() const { return m_websiteName; }
    QCheckBox *websiteCheckBox() const { return m_websiteCheckBox; }
    void display(const QString &name, bool ticked, bool busy);

signals:
    // The user clicked the box (not a change made by the screen).
    void checkBoxClicked(qint64 siteID, bool ticked);

private:
    qint64 m_siteID;
    QLabel *m_websiteName;
    QCheckBox *m_websiteCheckBox;
};

// The website blacklist: add a site, untick a box to remove one (behind the PIN gate, code 5).
class BlackListWebsitesViewController : public QWidget, public PinGatedScreen
{
    Q_OBJECT
public:
    static constexpr int cellHeight = BlockedWebsitesModel::cellHeight;
    static constexpr int MaxRows = 8;
    // Pages asked for in one load at most, so a server that always says "more" cannot hang it.
    static constexpr int maxPages = 100;

    explicit BlackListWebsitesViewController(ChangeGate *gate, QWidget *parent = nullptr);
    ~BlackListWebsitesViewController() override;

    // The add rule: lower case, one "https://" (or else "http://") removed, up to the first "/",
    // without leading "www." labels.
    static QString domainFromTypedText(const QString &typed);
    // Height of the box around the table for count rows.
    static int tableBoxHeight(int count);

    void btnAddAction();
    void checkBoxActionWithCheckBox(qint64 siteID, bool ticked);
    void updateCheckboxStateWithNotification(const QVariant &object);
    // Asks for every page of the list, then shows them all.
    void requestList();
    void setTexts();

    void performPinAction(PinAction::Code code, std::function<void(bool closeDialog)> finish) override;

    const BlockedWebsitesModel &model() const { return m_model; }
    bool isLoading() const { return m_loading; }
    // The id of the site whose box was last clicked.
    std::optional<qint64> domainID() const { return m_domainID; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void fetchPage(qint64 page, quint64 generation, QList<BlockData> sites);
    void finishLoading();
    void showOrHideTable();
    void syncCells();
    void siteRemovalFailed(qint64 siteID);

    // The gate may go before the screen when the window closes.
    QPointer<ChangeGate> m_gate;
    BlockedWebsitesModel m_model;
    QLabel *m_lblBlockListWebsite;
    QLabel *m_lblAddWebsiteURL;
    PaddedTextFieldCell *m_websiteTF;
    QPushButton *m_btnADD;
    // Says under the field that "www." is left out and subdomains are blocked too.
    QLabel *m_lblWwwHint;
    QProgressBar *m_busyIndicator;
    QLabel *m_lblEmptyList;
    QListView *m_blackListWebsiteTableView;
    QFrame *m_tableBox;
    std::optional<qint64> m_domainID;
    quint64 m_loadGeneration = 0;
    bool m_loading = false;
};
