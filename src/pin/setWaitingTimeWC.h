#pragma once

#include "ui/SheetDialog.h"

class QButtonGroup;
class QLabel;
class QPushButton;
class QRadioButton;
class QHBoxLayout;

// Second and last step of PIN setup: how long the server waits before it e-mails a forgotten
// PIN back. Set Time sends the PIN it was handed together with that time.
class setWaitingTimeWC : public SheetDialog
{
    Q_OBJECT
public:
    setWaitingTimeWC(const QString &pin, QWidget *parent = nullptr);

    void selectedHours(int tag);
    void setTime();
    void cancel();

    // The chosen waiting time in hours, as sent.
    QString hours = QStringLiteral("12");

    // The four choices side by side.
    QHBoxLayout *timingStackView = nullptr;
    QLabel *lblSetWaitingTime = nullptr;
    QLabel *lblSetTheWaitingTimeBefore = nullptr;
    QLabel *lblIfYouChoose = nullptr;
    QPushButton *btnCancel = nullptr;
    QPushButton *btnSetTheTime = nullptr;
    QRadioButton *btn12Hours = nullptr;
    QRadioButton *btn24Hours = nullptr;
    QRadioButton *btn48Hours = nullptr;
    QRadioButton *btnForever = nullptr;

private:
    void setTexts();
    void adjustLayoutForLanguage();

    QString m_pin;
    QButtonGroup *m_choices = nullptr;
};
