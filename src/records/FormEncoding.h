#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// The form-encoded bodies of the API, written by the app and read by the server: one place,
// so both ends agree on escaping ("+" is a blank, a literal plus travels as %2B).
using FormFields = QList<QPair<QString, QString>>;

// Everything but the unreserved characters percent-escaped, fields in the given order.
QByteArray encodeForm(const FormFields &fields);
FormFields decodeForm(const QByteArray &body);
