#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// Shown once in the main window right after a new account is made: what the user agreed to
// by signing up, in plain words, and a button on to the main content.
class TermsAndConditions : public QWidget
{
    Q_OBJECT
public:
    explicit TermsAndConditions(QWidget *parent = nullptr);

    void continueAction();

private:
    QLabel *lblTerms = nullptr;
    QLabel *lorem = nullptr;
    QPushButton *btnContinue = nullptr;
};
