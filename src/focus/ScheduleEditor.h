#pragma once

#include "records/Records.h"
#include "ui/SheetDialog.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListView;
class QProgressBar;
class QPushButton;
class QStandardItemModel;
class QTimeEdit;

// The sheet that adds or changes one weekly window: its name, days, start and end, the
// sites and categories it adds, and whether it locks like a focus session while open. Times
// are saved in this computer's time zone. Closes once the server accepted the window; a
// refusal stays in one line on the sheet.
class ScheduleEditor : public SheetDialog
{
    Q_OBJECT
public:
    ScheduleEditor(const ScheduleModel &window, const CategoryList &categories, QWidget *parent = nullptr);

    // The window as the form holds it.
    ScheduleModel window() const;
    void save();

    QLineEdit *m_nameEdit;
    QList<QCheckBox *> m_dayBoxes; // Monday first
    QTimeEdit *m_startTime;
    QTimeEdit *m_endTime;
    QLineEdit *m_sitesEdit;
    QListView *m_categoriesView;
    QStandardItemModel *m_categoriesModel;
    QCheckBox *m_locksBox;
    QProgressBar *m_busy;
    QLabel *m_errorLine;
    QPushButton *m_saveButton;
    QPushButton *m_cancelButton;

private:
    qint64 m_id;
};
