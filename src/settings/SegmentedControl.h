#pragma once

#include <QWidget>

class QAbstractButton;
class QButtonGroup;

// A row of joined buttons of which exactly one is selected, like tabs without pages.
class SegmentedControl : public QWidget
{
    Q_OBJECT
public:
    explicit SegmentedControl(int count, QWidget *parent = nullptr);

    int selectedSegment() const;
    void setSelectedSegment(int index);
    void setLabel(int index, const QString &text);
    QAbstractButton *segment(int index) const;

signals:
    // Only for a choice of the user.
    void segmentChanged(int index);

private:
    QButtonGroup *m_group;
};
