#include "ListsLook.h"

#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {
// Each row is drawn by its cell widget; the view itself draws nothing under it.
class CellOnlyDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *, const QStyleOptionViewItem &, const QModelIndex &) const override {}
    // The cell takes the whole row (the default leaves room for a check indicator).
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        editor->setGeometry(option.rect);
    }
};
} // namespace

namespace ListsLook {

QLabel *titleLabel(const QString &name, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setStyleSheet(QStringLiteral("color: rgba(0, 0, 0, 217); font-size: 17px; font-weight: 600;"));
    return label;
}

QListView *tableView(const QString &name, QWidget *parent)
{
    auto *view = new QListView(parent);
    view->setObjectName(name);
    view->setUniformItemSizes(true);
    view->setSelectionMode(QAbstractItemView::NoSelection);
    view->setFocusPolicy(Qt::NoFocus);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->setFrameShape(QFrame::NoFrame);
    view->setItemDelegate(new CellOnlyDelegate(view));
    view->setStyleSheet(
        QStringLiteral("QListView { background: transparent; border: none; }"
                       "QScrollBar:vertical { background: transparent; width: 8px; margin: 4px 2px 4px 0; }"
                       "QScrollBar::handle:vertical { background: #c9cdd3; border-radius: 3px; min-height: 24px; }"
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
                       "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
    view->viewport()->setAutoFillBackground(false);
    return view;
}

QFrame *tableBox(const QString &name, QListView *view, QWidget *parent)
{
    auto *box = new QFrame(parent);
    box->setObjectName(name);
    box->setStyleSheet(
        QStringLiteral("QFrame#%1 { background: white; border: 1px solid #e5e7eb; border-radius: 12px; }").arg(name));
    auto *shadow = new QGraphicsDropShadowEffect(box);
    shadow->setOffset(0, -2);
    shadow->setBlurRadius(3);
    shadow->setColor(QColor(0xd3, 0xd3, 0xd3));
    box->setGraphicsEffect(shadow);
    auto *layout = new QVBoxLayout(box);
    // The 1-point border is the "+ 2" of the box height: the rows get exactly count x 47.
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    return box;
}

QProgressBar *busyIndicator(const QString &name, QWidget *parent)
{
    auto *bar = new QProgressBar(parent);
    bar->setObjectName(name);
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    bar->setFixedHeight(4);
    bar->setStyleSheet(QStringLiteral("QProgressBar { background: #e5e7eb; border: none; border-radius: 2px; }"
                                      "QProgressBar::chunk { background: rgb(0, 50, 39); border-radius: 2px; }"));
    return bar;
}

int tableBoxHeight(int count)
{
    constexpr int cellHeight = 47;
    constexpr int maxRows = 8;
    return count * cellHeight < maxRows * cellHeight ? count * cellHeight + 2 : maxRows * cellHeight + 2;
}

QLabel *hintLabel(const QString &name, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QStringLiteral("color: #6b7280; font-size: 14px;"));
    return label;
}

} // namespace ListsLook
