#include "SegmentedControl.h"

#include "ui/Style.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>

SegmentedControl::SegmentedControl(int count, QWidget *parent)
    : QWidget(parent)
    , m_group(new QButtonGroup(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->setSpacing(2);
    setObjectName(QStringLiteral("segmentedControl"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("SegmentedControl { background: #eef0f2; border-radius: 8px; }"
                                 "QPushButton { border: none; border-radius: 6px; padding: 5px 18px; color: #4b5563;"
                                 " font-size: 13px; font-weight: 600; background: transparent; }"
                                 "QPushButton:checked { background: white; color: %1; }")
                      .arg(Style::commonOrange.name()));
    for (int i = 0; i < count; ++i) {
        auto *button = new QPushButton(this);
        button->setObjectName(QStringLiteral("segment%1").arg(i));
        button->setCheckable(true);
        button->setAutoDefault(false);
        button->setCursor(Qt::PointingHandCursor);
        m_group->addButton(button, i);
        layout->addWidget(button);
    }
    m_group->setExclusive(true);
    connect(m_group, &QButtonGroup::idClicked, this, &SegmentedControl::segmentChanged);
}

int SegmentedControl::selectedSegment() const
{
    return m_group->checkedId();
}

void SegmentedControl::setSelectedSegment(int index)
{
    if (QAbstractButton *button = m_group->button(index))
        button->setChecked(true);
}

void SegmentedControl::setLabel(int index, const QString &text)
{
    if (QAbstractButton *button = m_group->button(index))
        button->setText(text);
}

QAbstractButton *SegmentedControl::segment(int index) const
{
    return m_group->button(index);
}
