#pragma once

#include <QString>

class QBoxLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

// The shared look of the account sheets, and the small actions several of them offer.
namespace AccountWidgets {
// The title of a sheet: 18 pixels, semibold.
QLabel *titleLabel(QWidget *parent, const QString &name);
// A line of explanation under a title.
QLabel *captionLabel(QWidget *parent, const QString &name);
// The small label above a field.
QLabel *fieldLabel(QWidget *parent, const QString &name);
QLineEdit *textField(QWidget *parent, const QString &name, bool secure = false);
// The button that sends the sheet (orange) and the one that leaves it.
QPushButton *primaryButton(QWidget *parent, const QString &name);
QPushButton *secondaryButton(QWidget *parent, const QString &name);
// A text button that moves to another sheet ("Join Us", "Login").
QPushButton *switchButton(QWidget *parent, const QString &name);
// A link whose whole title is underlined.
QPushButton *linkButton(QWidget *parent, const QString &name);
QPushButton *socialButton(QWidget *parent, const QString &name);
// A line, the label, a line: the "OR" between the e-mail form and the other ways in.
QHBoxLayout *separatorRow(QWidget *parent, QLabel *label);
// Cancel on the left of the sending button, both at the right edge.
QHBoxLayout *buttonRow(QPushButton *cancel, QPushButton *send);
// The terms and privacy links side by side, centred: one row per language.
QWidget *legalLinksRow(QWidget *parent, const QString &name, QPushButton *terms, QPushButton *privacy);
// A hidden busy indicator.
QProgressBar *loader(QWidget *parent);
// The sheet's background and margins.
void styleSheetPage(QWidget *page);

// The language of the terms and privacy links: the stored one, else the system's.
QString linkLanguage();
// The terms and privacy windows, a new one at each click.
void openTerms();
void openPrivacy();
} // namespace AccountWidgets
