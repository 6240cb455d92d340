#pragma once

#include <QValidator>

// Lets into a PIN field only what could still become a PIN: an empty text, or at most six
// characters reading as a base-10 integer with an optional sign. Anything else is refused and
// the field keeps its previous text.
class OnlyIntegerValueFormatter : public QValidator
{
    Q_OBJECT
public:
    using QValidator::QValidator;
    static bool isPartialStringValid(const QString &text);
    State validate(QString &input, int &pos) const override;
};
