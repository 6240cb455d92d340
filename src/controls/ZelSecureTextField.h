#pragma once

#include <QLineEdit>

class QToolButton;

// A password or PIN field that shows its text in clear or as bullets, with an eye button at
// its right end. Three properties decide what the user sees (see updateCell()).
//
// What it holds while hidden can only be replaced, never read back: no copy, cut or drag, no
// text for input methods, and no undo history that would outlive a switch between hidden and
// clear (Qt keeps undo steps across that switch, so an edit made while hidden could otherwise be
// undone in clear). Owners empty it with wipe(), which forgets the history too; clear() records
// the removal as an undoable step.
class ZelSecureTextField : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(bool displayToggleButton READ displayToggleButton WRITE setDisplayToggleButton)
    Q_PROPERTY(bool allowShowPassword READ allowShowPassword WRITE setAllowShowPassword)
    Q_PROPERTY(bool passwordIsVisible READ passwordIsVisible WRITE setPasswordIsVisible)
public:
    explicit ZelSecureTextField(QWidget *parent = nullptr);

    bool displayToggleButton() const { return m_displayToggleButton; }
    bool allowShowPassword() const { return m_allowShowPassword; }
    bool passwordIsVisible() const { return m_passwordIsVisible; }
    void setDisplayToggleButton(bool display);
    // Turning it off also hides the text.
    void setAllowShowPassword(bool allow);
    void setPasswordIsVisible(bool visible);

    // The eye button's action: on shows the text.
    void visibilityChanged(bool on);
    QToolButton *toggleButton() const { return m_toggle; }

    // Whether the text is shown as bullets.
    bool isHidingText() const { return echoMode() != QLineEdit::Normal; }
    // Empties the field and forgets its undo history.
    void wipe();

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateCell();
    void placeToggle();
    // Keeps the text and drops every undo and redo step.
    void forgetHistory();

    bool m_displayToggleButton = true;
    bool m_allowShowPassword = true;
    bool m_passwordIsVisible = false;
    QToolButton *m_toggle;
};
