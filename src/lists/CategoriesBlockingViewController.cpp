#include "CategoriesBlockingViewController.h"

#include "ListsLook.h"
#include "api/CommonWS.h"
#include "api/LogRedaction.h"
#include "controls/ToggleSwitch.h"
#include "core/Log.h"
#include "platform/NotificationCenter.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPointer>
#include <QProgressBar>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {
const QString listDecodingFailed = QStringLiteral("============ Error decoding model response ==============");
const QString changeDecodingFailed = QStringLiteral("========= Error decoding model response ============");
// Shown as it stands, not looked up in the language table.
const QString success = QStringLiteral("Success");
} // namespace

CategoryCell::CategoryCell(qint64 categoryID, QWidget *parent)
    : QWidget(parent)
    , m_categoryID(categoryID)
    , m_lblCategory(new QLabel(this))
    , m_switchCategory(new ToggleSwitch(this))
{
    setObjectName(QStringLiteral("CategoryCell"));
    m_lblCategory->setObjectName(QStringLiteral("lblCategory"));
    m_switchCategory->setObjectName(QStringLiteral("switchCategory"));
    m_lblCategory->setStyleSheet(QStringLiteral("color: #1f2933; font-size: 14px;"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("CategoryCell { border-bottom: 1px solid #eef0f3; background: transparent; }"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(18, 0, 18, 0);
    layout->addWidget(m_lblCategory, 1);
    layout->addWidget(m_switchCategory);
    connect(m_switchCategory, &ToggleSwitch::clicked, this, [this](bool on) { emit switchToggled(m_categoryID, on); });
}

void CategoryCell::display(const QString &name, bool on, bool busy)
{
    m_lblCategory->setText(name);
    m_switchCategory->setChecked(on);
    m_switchCategory->setEnabled(!busy);
}

CategoriesBlockingViewController::CategoriesBlockingViewController(ChangeGate *gate, QWidget *parent)
    : QWidget(parent)
    , m_gate(gate)
    , m_model(this)
{
    setObjectName(QStringLiteral("CategoriesBlockingViewController"));
    m_lblCategoriesBlocking = ListsLook::titleLabel(QStringLiteral("lblCategoriesBlocking"), this);
    m_busyIndicator = ListsLook::busyIndicator(QStringLiteral("busyIndicator"), this);
    m_tblCategories = ListsLook::tableView(QStringLiteral("tblCategories"), this);
    m_tblCategories->setModel(&m_model);
    m_tableBox = ListsLook::tableBox(QStringLiteral("tableBox"), m_tblCategories, this);
    m_lblEmptyList = ListsLook::hintLabel(QStringLiteral("lblEmptyList"), this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 24, 32, 20);
    layout->setSpacing(0);
    layout->addWidget(m_lblCategoriesBlocking);
    layout->addSpacing(8);
    QSizePolicy keepPlace = m_busyIndicator->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    m_busyIndicator->setSizePolicy(keepPlace);
    layout->addWidget(m_busyIndicator);
    layout->addSpacing(8);
    layout->addWidget(m_tableBox);
    layout->addWidget(m_lblEmptyList);
    layout->addStretch();

    connect(&m_model, &QAbstractItemModel::modelReset, this, &CategoriesBlockingViewController::syncCells);
    connect(&m_model, &QAbstractItemModel::dataChanged, this, &CategoriesBlockingViewController::syncCells);

    NotificationCenter &center = NotificationCenter::defaultCenter();
    center.addObserver(this, QStringLiteral("BlockCategorySwitchState"),
                       [this](const QVariant &object) { updateSwitchStateWithNotification(object); });
    center.addObserver(this, QStringLiteral("UpdateChooseLanguage"),
                       [this](const QVariant &object) { updateLocalizationWithNotification(object); });
    setTexts();
    showOrHideTable();
    requestList();
    if (m_gate)
        m_gate->categoryBlockingViewController = this;
}

CategoriesBlockingViewController::~CategoriesBlockingViewController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (m_gate && m_gate->categoryBlockingViewController == this)
        m_gate->categoryBlockingViewController = nullptr;
}

void CategoriesBlockingViewController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        setTexts();
}

void CategoriesBlockingViewController::setTexts()
{
    m_lblCategoriesBlocking->setText(localizedText(QStringLiteral("Categories Blocking")));
    m_lblEmptyList->setText(localizedText(QStringLiteral("No categories to show.")));
}

void CategoriesBlockingViewController::requestList()
{
    m_loading = true;
    showOrHideTable();
    const quint64 generation = ++m_loadGeneration;
    QPointer<CategoriesBlockingViewController> self(this);
    CommonWS::shared().getCategories(
        [self, generation](const BaseModel<CategoryList> &record, bool ok) {
            if (!self || generation != self->m_loadGeneration)
                return;
            self->finishLoading();
            if (!ok) {
                Log::line(listDecodingFailed);
                return;
            }
            Log::line(QStringLiteral("Model Response - ") + LogRedaction::describeRecord(record));
            if (record.status && record.data)
                self->m_model.setCategories(*record.data);
            else
                CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")), record.msg);
        },
        [self, generation] {
            if (self && generation == self->m_loadGeneration)
                self->finishLoading();
        });
}

void CategoriesBlockingViewController::finishLoading()
{
    m_loading = false;
    showOrHideTable();
}

void CategoriesBlockingViewController::showOrHideTable()
{
    const int count = m_model.rowCount();
    m_tableBox->setVisible(count > 0);
    if (count > 0)
        m_tableBox->setFixedHeight(ListsLook::tableBoxHeight(count));
    m_lblEmptyList->setVisible(count == 0 && !m_loading);
    m_busyIndicator->setVisible(m_loading);
}

void CategoriesBlockingViewController::syncCells()
{
    for (int row = 0; row < m_model.rowCount(); ++row) {
        const QModelIndex index = m_model.index(row);
        const qint64 id = index.data(CategoriesModel::IdRole).toLongLong();
        auto *cell = qobject_cast<CategoryCell *>(m_tblCategories->indexWidget(index));
        if (!cell || cell->categoryID() != id) {
            cell = new CategoryCell(id);
            connect(cell, &CategoryCell::switchToggled, this,
                    &CategoriesBlockingViewController::blockUnblockCategoryWithCategorySwitch);
            m_tblCategories->setIndexWidget(index, cell);
        }
        cell->display(index.data(Qt::DisplayRole).toString(), index.data(CategoriesModel::SwitchOnRole).toBool(),
                      index.data(CategoriesModel::BusyRole).toBool());
    }
    showOrHideTable();
}

void CategoriesBlockingViewController::changeFailed(qint64 categoryID)
{
    m_model.setBusy(categoryID, false);
    m_model.revert(categoryID);
    requestList();
}

void CategoriesBlockingViewController::blockUnblockCategoryWithCategorySwitch(qint64 categoryID, bool on)
{
    if (m_model.isBusy(categoryID))
        return;
    const std::optional<qint64> previous = m_blockCategoryID;
    m_blockCategoryID = categoryID;
    Log::line(QStringLiteral("Selected Switch Category ID - ") + QString::number(categoryID));
    m_model.setSwitchOn(categoryID, on);
    if (!on) {
        Log::line(QStringLiteral("Switch OFF"));
        if (m_gate) {
            // A refused request has put this switch back (as on Cancel); an unblock already
            // waiting for the PIN must still find its own category.
            if (!m_gate->ask(PinAction::UnblockCategory, this))
                m_blockCategoryID = previous;
        } else
            performPinAction(PinAction::UnblockCategory, [](bool) {});
        return;
    }
    // Blocking never asks for the PIN, nor takes the place of an unblock waiting for it.
    if (m_gate && m_gate->isAsking())
        m_blockCategoryID = previous;
    Log::line(QStringLiteral("Switch ON"));
    m_model.setBusy(categoryID, true);
    QPointer<CategoriesBlockingViewController> self(this);
    CommonWS::shared().blockCategory(
        categoryID,
        [self, categoryID](const BaseModel<BlockCategoryModel> &record, bool ok) {
            if (!self)
                return;
            if (!ok) {
                Log::line(changeDecodingFailed);
                self->changeFailed(categoryID);
                return;
            }
            if (!record.status) {
                CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")), record.msg);
                self->changeFailed(categoryID);
                return;
            }
            self->m_model.setBusy(categoryID, false);
            if (record.data)
                CommmonFunction::showCommonAlert(success, record.msg);
            self->requestList();
        },
        [self, categoryID] {
            if (self)
                self->changeFailed(categoryID);
        });
}

void CategoriesBlockingViewController::updateSwitchStateWithNotification(const QVariant &object)
{
    // The unblock was cancelled at the PIN window: the category is still blocked.
    if (object.typeId() == QMetaType::Bool && object.toBool() && m_blockCategoryID)
        m_model.setSwitchOn(*m_blockCategoryID, true);
}

void CategoriesBlockingViewController::updateLocalizationWithNotification(const QVariant &object)
{
    if (object.typeId() != QMetaType::QString)
        return;
    setTexts();
    requestList();
}

void CategoriesBlockingViewController::performPinAction(PinAction::Code code, std::function<void(bool)> finish)
{
    if (code != PinAction::UnblockCategory || !m_blockCategoryID) {
        finish(true);
        return;
    }
    const qint64 categoryID = *m_blockCategoryID;
    if (m_model.isBusy(categoryID)) {
        finish(false);
        return;
    }
    m_model.setBusy(categoryID, true);
    QPointer<CategoriesBlockingViewController> self(this);
    CommonWS::shared().unblockCategory(
        categoryID,
        [self, categoryID, finish](const BaseModel<UnblockCategoryModel> &record, bool ok) {
            if (ok)
                Log::line(QStringLiteral("Unblock Category Response - ") + LogRedaction::describeRecord(record));
            if (!self) {
                finish(ok && record.status);
                return;
            }
            if (!ok) {
                Log::line(changeDecodingFailed);
                self->changeFailed(categoryID);
                finish(false);
                return;
            }
            if (!record.status) {
                CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")), record.msg);
                self->changeFailed(categoryID);
                finish(false);
                return;
            }
            self->m_model.setBusy(categoryID, false);
            self->m_model.setSwitchOn(categoryID, false);
            if (record.data)
                CommmonFunction::showCommonAlert(success, record.msg);
            finish(true);
            self->requestList();
        },
        [self, categoryID, finish] {
            if (self)
                self->changeFailed(categoryID);
            finish(false);
        });
}
