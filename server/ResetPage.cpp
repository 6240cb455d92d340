#include "ResetPage.h"

namespace ResetPage {

namespace {
QByteArray page(Language language, const QString &content)
{
    const QString lang = language == Language::french ? QStringLiteral("fr") : QStringLiteral("en");
    return QStringLiteral(
               "<!DOCTYPE html>\n<html lang=\"%1\"><head><meta charset=\"utf-8\">"
               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
               "<title>Nimbrel - %2</title>"
               "<style>body{font-family:sans-serif;max-width:28em;margin:3em auto;padding:0 1em;color:#222}"
               "h1{font-size:1.3em}label{display:block;margin-top:1em}input{width:100%;padding:.5em;"
               "box-sizing:border-box}button{margin-top:1.5em;padding:.6em 1.4em;background:#003227;color:#fff;"
               "border:0;border-radius:4px}.error{color:#b00020}</style></head><body>%3</body></html>\n")
        .arg(lang, text(Msg::resetTitle, language).toHtmlEscaped(), content)
        .toUtf8();
}
} // namespace

QByteArray form(Language language, const QString &secret, const QString &error)
{
    QString content = QStringLiteral("<h1>%1</h1>").arg(text(Msg::resetTitle, language).toHtmlEscaped());
    if (!error.isEmpty())
        content += QStringLiteral("<p class=\"error\">%1</p>").arg(error.toHtmlEscaped());
    content += QStringLiteral("<form method=\"post\" action=\"reset\">"
                              "<input type=\"hidden\" name=\"token\" value=\"%1\">"
                              "<label>%2<input type=\"password\" name=\"password\" autocomplete=\"new-password\" "
                              "minlength=\"8\" required></label>"
                              "<label>%3<input type=\"password\" name=\"password_confirmation\" "
                              "autocomplete=\"new-password\" minlength=\"8\" required></label>"
                              "<button type=\"submit\">%4</button></form>")
                   .arg(secret.toHtmlEscaped(), text(Msg::resetNewPassword, language).toHtmlEscaped(),
                        text(Msg::resetConfirmPassword, language).toHtmlEscaped(),
                        text(Msg::resetSave, language).toHtmlEscaped());
    return page(language, content);
}

QByteArray message(Language language, const QString &body)
{
    return page(language, QStringLiteral("<h1>%1</h1><p>%2</p>")
                              .arg(text(Msg::resetTitle, language).toHtmlEscaped(), body.toHtmlEscaped()));
}

} // namespace ResetPage
