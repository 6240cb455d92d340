#include "BlackListWebsitesViewController.h"

#include "ListsLook.h"
#include "api/CommonWS.h"
#include "api/LogRedaction.h"
#include "core/Log.h"
#include "platform/NotificationCenter.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {
const QString decodingFailed = QStringLiteral("============ Error decoding model response ==============");
const QString removalDecodingFailed = QStringLiteral("========= Error decoding model response ============");
} // namespace

QList<BlockData> &blockedWebsites()
{
    static QList<BlockData> rows;
    return rows;
}

PaddedTextFieldCell::PaddedTextFieldCell(QWidget *parent)
    : QLineEdit(parent)
{
    setLeftPadding(m_leftPadding);
}

void PaddedTextFieldCell::setLeftPadding(qreal padding)
{
    m_leftPadding = padding;
    setTextMargins(qRound(padding), 0, 0, 0);
}

WebsiteTableCell::WebsiteTableCell(qint64 siteID, QWidget *parent)
    : QWidget(parent)
    , m_siteID(siteID)
    , m_websiteName(new QLabel(this))
    , m_websiteCheckBox(new QCheckBox(this))
{
    setObjectName(QStringLiteral("WebsiteTableCell"));
    m_websiteName->setObjectName(QStringLiteral("websiteName"));
    m_websiteCheckBox->setObjectName(QStringLiteral("websiteCheckBox"));
    m_websiteName->setStyleSheet(QStringLiteral("color: #1f2933; font-size: 14px;"));
    m_websiteName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_websiteCheckBox->setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("WebsiteTableCell { border-bottom: 1px solid #eef0f3; background: transparent; }"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 0, 16, 0);
    layout->setSpacing(12);
    layout->addWidget(m_websiteCheckBox);
    layout->addWidget(m_websiteName, 1);
    connect(m_websiteCheckBox, &QCheckBox::clicked, this,
            [this](bool ticked) { emit checkBoxClicked(m_siteID, ticked); });
}

void WebsiteTableCell::display(const QString &name, bool ticked, bool busy)
{
    m_websiteName->setText(name);
    m_websiteCheckBox->setChecked(ticked);
    m_websiteCheckBox->setEnabled(!busy);
}

BlackListWebsitesViewController::BlackListWebsitesViewController(ChangeGate *gate, QWidget *parent)
    : QWidget(parent)
    , m_gate(gate)
    , m_model(this)
{
    setObjectName(QStringLiteral("BlackListWebsitesViewController"));
    m_lblBlockListWebsite = ListsLook::titleLabel(QStringLiteral("lblBlockListWebsite"), this);
    m_lblAddWebsiteURL = new QLabel(this);
    m_lblAddWebsiteURL->setObjectName(QStringLiteral("lblAddWebsiteURL"));
    m_lblAddWebsiteURL->setStyleSheet(QStringLiteral("color: #374151; font-size: 13px; font-weight: 600;"));
    m_websiteTF = new PaddedTextFieldCell(this);
    m_websiteTF->setObjectName(QStringLiteral("websiteTF"));
    m_websiteTF->setFixedHeight(32);
    m_websiteTF->setStyleSheet(
        QStringLiteral("QLineEdit { background: white; color: #1f2933; border: 1px solid #d1d5db;"
                       " border-radius: 6px; font-size: 14px; }"
                       "QLineEdit:focus { border-color: rgb(0, 50, 39); }"));
    m_btnADD = new QPushButton(this);
    m_btnADD->setObjectName(QStringLiteral("btnADD"));
    m_btnADD->setCursor(Qt::PointingHandCursor);
    m_btnADD->setFixedHeight(32);
    m_btnADD->setStyleSheet(QStringLiteral("QPushButton { background: rgb(0, 50, 39); color: white; border: none;"
                                           " border-radius: 6px; padding: 0 22px; font-size: 13px; font-weight: 600; }"
                                           "QPushButton:pressed { background: rgb(0, 35, 27); }"
                                           "QPushButton:disabled { background: rgba(0, 50, 39, 110); }"));
    m_lblWwwHint = new QLabel(this);
    m_lblWwwHint->setObjectName(QStringLiteral("lblWwwHint"));
    m_lblWwwHint->setWordWrap(true);
    m_lblWwwHint->setStyleSheet(QStringLiteral("color: #6b7280; font-size: 12px;"));
    m_busyIndicator = ListsLook::busyIndicator(QStringLiteral("busyIndicator"), this);
    m_lblEmptyList = ListsLook::hintLabel(QStringLiteral("lblEmptyList"), this);
    m_blackListWebsiteTableView = ListsLook::tableView(QStringLiteral("blackListWebsiteTableView"), this);
    m_blackListWebsiteTableView->setModel(&m_model);
    m_tableBox = ListsLook::tableBox(QStringLiteral("tableBox"), m_blackListWebsiteTableView, this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 24, 32, 16);
    layout->setSpacing(0);
    layout->addWidget(m_lblBlockListWebsite);
    layout->addSpacing(14);
    // The hint sits under the field, not under its label.
    auto *addRow = new QGridLayout;
    addRow->setHorizontalSpacing(10);
    addRow->setVerticalSpacing(4);
    addRow->addWidget(m_lblAddWebsiteURL, 0, 0);
    addRow->addWidget(m_websiteTF, 0, 1);
    addRow->addWidget(m_btnADD, 0, 2);
    addRow->addWidget(m_lblWwwHint, 1, 1);
    addRow->setColumnStretch(1, 1);
    layout->addLayout(addRow);
    layout->addSpacing(6);
    QSizePolicy keepPlace = m_busyIndicator->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    m_busyIndicator->setSizePolicy(keepPlace);
    layout->addWidget(m_busyIndicator);
    layout->addSpacing(6);
    layout->addWidget(m_tableBox);
    layout->addWidget(m_lblEmptyList);
    layout->addStretch();

    connect(m_btnADD, &QPushButton::clicked, this, &BlackListWebsitesViewController::btnAddAction);
    connect(m_websiteTF, &QLineEdit::returnPressed, this, &BlackListWebsitesViewController::btnAddAction);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &BlackListWebsitesViewController::syncCells);
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, &BlackListWebsitesViewController::syncCells);
    connect(&m_model, &QAbstractItemModel::rowsRemoved, this, &BlackListWebsitesViewController::syncCells);
    connect(&m_model, &QAbstractItemModel::dataChanged, this, &BlackListWebsitesViewController::syncCells);

    NotificationCenter::defaultCenter().addObserver(
        this, QStringLiteral("BlackListWebsiteState"),
        [this](const QVariant &object) { updateCheckboxStateWithNotification(object); });
    NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("UpdateChooseLanguage"),
                                                    [this](const QVariant &) { setTexts(); });
    if (m_gate)
        m_gate->blackListWebsitesViewController = this;
    setTexts();
    m_model.setSites(blockedWebsites());
    showOrHideTable();
    requestList();
}

BlackListWebsitesViewController::~BlackListWebsitesViewController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (m_gate && m_gate->blackListWebsitesViewController == this)
        m_gate->blackListWebsitesViewController = nullptr;
}

QString BlackListWebsitesViewController::domainFromTypedText(const QString &typed)
{
    QString text = typed.toLower();
    if (text.startsWith(QLatin1String("https://")))
        text.remove(0, 8);
    else if (text.startsWith(QLatin1String("http://")))
        text.remove(0, 7);
    const QStringList parts = text.split(QLatin1Char('/'));
    Log::line(QStringLiteral("Parts - ") + parts.join(QStringLiteral(", ")));
    // "www.example.com" would block that one name while the list shows "example.com"; the
    // name without it blocks the site and all its subdomains, which is what the user meant.
    const QString domain = BlockedWebsitesModel::withoutLeadingWww(parts.first());
    Log::line(QStringLiteral("Domain - ") + domain);
    return domain;
}

int BlackListWebsitesViewController::tableBoxHeight(int count)
{
    static_assert(cellHeight == 47 && MaxRows == 8, "the shared rule of ListsLook::tableBoxHeight");
    return ListsLook::tableBoxHeight(count);
}

void BlackListWebsitesViewController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        setTexts();
}

void BlackListWebsitesViewController::setTexts()
{
    m_lblBlockListWebsite->setText(localizedText(QStringLiteral("Blacklist Website")));
    m_lblAddWebsiteURL->setText(localizedText(QStringLiteral("Add Website URL")));
    m_btnADD->setText(localizedText(QStringLiteral("Add")));
    m_websiteTF->setPlaceholderText(localizedText(QStringLiteral("Enter Website")));
    m_lblWwwHint->setText(
        localizedText(QStringLiteral("A leading \"www.\" is left out: the site and all its subdomains are blocked.")));
    m_lblEmptyList->setText(localizedText(QStringLiteral("You are not blocking any website yet.")));
}

void BlackListWebsitesViewController::requestList()
{
    m_loading = true;
    showOrHideTable();
    fetchPage(1, ++m_loadGeneration, {});
}

void BlackListWebsitesViewController::fetchPage(qint64 page, quint64 generation, QList<BlockData> sites)
{
    QPointer<BlackListWebsitesViewController> self(this);
    CommonWS::shared().getBlockWebsiteByUser(
        page,
        [self, page, generation, sites](const BaseModel<BlockWebsiteModel> &record, bool ok) mutable {
            if (!self || generation != self->m_loadGeneration)
                return;
            if (!ok) {
                Log::line(decodingFailed);
                self->finishLoading();
                return;
            }
            Log::line(QStringLiteral("Model Response - ") + LogRedaction::describeRecord(record));
            if (!record.status) {
                self->finishLoading();
                CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")), record.msg);
                return;
            }
            if (!record.data) {
                self->finishLoading();
                return;
            }
            sites += record.data->data;
            const qint64 current = record.data->currentPage.value_or(page);
            if (current < record.data->lastPage && !record.data->data.isEmpty()) {
                if (page < maxPages) {
                    self->fetchPage(page + 1, generation, std::move(sites));
                    return;
                }
                Log::line(QStringLiteral("Blacklist: stopped after %1 pages").arg(maxPages));
            }
            blockedWebsites() = sites;
            self->m_model.setSites(sites);
            self->finishLoading();
        },
        [self, generation] {
            if (self && generation == self->m_loadGeneration)
                self->finishLoading();
        });
}

void BlackListWebsitesViewController::finishLoading()
{
    m_loading = false;
    showOrHideTable();
}

void BlackListWebsitesViewController::showOrHideTable()
{
    const int count = m_model.rowCount();
    m_tableBox->setVisible(count > 0);
    m_blackListWebsiteTableView->setVisible(count > 0);
    if (count > 0)
        m_tableBox->setFixedHeight(tableBoxHeight(count));
    m_lblEmptyList->setVisible(count == 0 && !m_loading);
    m_busyIndicator->setVisible(m_loading);
}

void BlackListWebsitesViewController::syncCells()
{
    for (int row = 0; row < m_model.rowCount(); ++row) {
        const QModelIndex index = m_model.index(row);
        const qint64 id = index.data(BlockedWebsitesModel::IdRole).toLongLong();
        auto *cell = qobject_cast<WebsiteTableCell *>(m_blackListWebsiteTableView->indexWidget(index));
        if (!cell || cell->siteID() != id) {
            Log::line(QStringLiteral("Index Passed - ") + QString::number(row));
            cell = new WebsiteTableCell(id);
            connect(cell, &WebsiteTableCell::checkBoxClicked, this,
                    &BlackListWebsitesViewController::checkBoxActionWithCheckBox);
            m_blackListWebsiteTableView->setIndexWidget(index, cell);
        }
        cell->display(index.data(Qt::DisplayRole).toString(), index.data(Qt::CheckStateRole).toInt() == Qt::Checked,
                      index.data(BlockedWebsitesModel::BusyRole).toBool());
    }
    showOrHideTable();
}

void BlackListWebsitesViewController::btnAddAction()
{
    const QString typed = m_websiteTF->text();
    if (typed.isEmpty()) {
        CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")),
                                         messageText(QStringLiteral("Please enter website")));
        return;
    }
    if (!m_btnADD->isEnabled())
        return;
    const QString domain = domainFromTypedText(typed);
    m_btnADD->setEnabled(false);
    QPointer<BlackListWebsitesViewController> self(this);
    CommonWS::shared().blockWebsite(
        domain,
        [self](const BaseModel<BlockData> &record, bool ok) {
            if (!self)
                return;
            self->m_btnADD->setEnabled(true);
            if (!ok) {
                Log::line(decodingFailed);
                return;
            }
            Log::line(QStringLiteral("Block Website Model Response - ") + LogRedaction::describeRecord(record));
            if (!record.status) {
                CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")), record.msg);
                return;
            }
            if (!record.data)
                return;
            if (self->m_model.rowOf(record.data->id) < 0)
                self->m_model.append(*record.data);
            blockedWebsites() = self->m_model.sites();
            self->m_websiteTF->clear();
            // A load under way may have read its pages before this site was stored.
            if (self->m_loading)
                self->requestList();
        },
        [self] {
            if (self)
                self->m_btnADD->setEnabled(true);
        });
}

void BlackListWebsitesViewController::checkBoxActionWithCheckBox(qint64 siteID, bool ticked)
{
    const std::optional<qint64> previous = m_domainID;
    m_domainID = siteID;
    Log::line(QStringLiteral("Checkbox Tag - ") + QString::number(siteID));
    if (ticked) {
        // Ticking again (after a cancelled or failed removal) sends nothing.
        Log::line(QStringLiteral("Checkbox ON"));
        m_model.setTicked(siteID, true);
        // Nor does it take the place of a removal waiting for the PIN.
        if (m_gate && m_gate->isAsking())
            m_domainID = previous;
        return;
    }
    Log::line(QStringLiteral("Checkbox OFF"));
    m_model.setTicked(siteID, false);
    if (m_gate) {
        // A refused request has ticked this box again (as on Cancel); a removal already
        // waiting for the PIN must still find its own site.
        if (!m_gate->ask(PinAction::UnblockWebsite, this))
            m_domainID = previous;
    } else
        performPinAction(PinAction::UnblockWebsite, [](bool) {});
}

void BlackListWebsitesViewController::updateCheckboxStateWithNotification(const QVariant &object)
{
    if (object.typeId() == QMetaType::Bool && object.toBool() && m_domainID)
        m_model.setTicked(*m_domainID, true);
}

void BlackListWebsitesViewController::siteRemovalFailed(qint64 siteID)
{
    // The site is still blocked: the box says so again.
    m_model.setBusy(siteID, false);
    m_model.setTicked(siteID, true);
}

void BlackListWebsitesViewController::performPinAction(PinAction::Code code, std::function<void(bool)> finish)
{
    if (code != PinAction::UnblockWebsite || !m_domainID) {
        finish(true);
        return;
    }
    const qint64 siteID = *m_domainID;
    if (m_model.isBusy(siteID)) {
        finish(false);
        return;
    }
    m_model.setBusy(siteID, true);
    QPointer<BlackListWebsitesViewController> self(this);
    CommonWS::shared().unblockWebsite(
        siteID,
        [self, siteID, finish](const UnblockWebsiteModel &record, bool ok) {
            if (!self) {
                finish(ok && record.status);
                return;
            }
            if (!ok) {
                Log::line(removalDecodingFailed);
                self->siteRemovalFailed(siteID);
                finish(false);
                return;
            }
            if (!record.status) {
                self->siteRemovalFailed(siteID);
                CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")), record.msg);
                finish(false);
                return;
            }
            self->m_model.remove(siteID);
            blockedWebsites() = self->m_model.sites();
            finish(true);
        },
        [self, siteID, finish] {
            if (self)
                self->siteRemovalFailed(siteID);
            finish(false);
        });
}
