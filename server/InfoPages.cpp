#include "InfoPages.h"

namespace InfoPages {
namespace {
QByteArray wrap(const char *title, const char *body)
{
    return QByteArrayLiteral("<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">"
                             "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><title>") +
           title +
           QByteArrayLiteral("</title><style>body{font-family:sans-serif;max-width:760px;margin:32px auto;"
                             "padding:0 20px;line-height:1.55;color:#222}h1{font-size:26px}h2{font-size:18px;"
                             "margin-top:28px}</style></head><body><h1>") +
           title + QByteArrayLiteral("</h1>") + body + QByteArrayLiteral("</body></html>");
}

const char faq[] = R"(
<h2>What does Nimbrel do?</h2>
<p>While protection is on, your computer looks up website names through the Nimbrel DNS server, which
refuses the sites and categories on your lists. Nimbrel also closes the applications you block.</p>
<h2>Why is a site I blocked still showing?</h2>
<p>Your browser may remember the address for a few minutes, or use its own secure DNS. Restart the
browser; Nimbrel blocks the common encrypted-DNS services for you.</p>
<h2>I forgot my PIN.</h2>
<p>Use "Forgot PIN" in the PIN window. The PIN is sent to your e-mail address once the waiting time you
chose has passed. If you chose "never", write to support through the live chat.</p>
<h2>How do I stop using Nimbrel?</h2>
<p>Turn protection off (your PIN may be asked), then use Uninstall on the protection screen.</p>
)";

const char terms[] = R"(
<p>These terms apply to the Nimbrel application and service provided by the operator of this server.</p>
<h2>The service</h2>
<p>Nimbrel filters name look-ups of the devices you protect and closes applications you choose to block.
It is a self-control aid, not a guarantee: some content may get through.</p>
<h2>Your account</h2>
<p>Keep your password and PIN to yourself. A PIN with a waiting time keeps you from weakening your
protection until that time has passed; the operator cannot shorten it.</p>
<h2>Ending</h2>
<p>You may stop using the service and delete your account at any time.</p>
)";

const char privacy[] = R"(
<p>This policy explains what the Nimbrel service keeps about you.</p>
<h2>What we keep</h2>
<p>Your e-mail address, your name if you give one, your device names and identifiers, your block lists
and the network address your device last synchronised from, so that the filter knows it is you.</p>
<h2>What we do not keep</h2>
<p>We do not log the websites you visit. Passwords are stored as one-way hashes; PINs are encrypted.</p>
<h2>Your choices</h2>
<p>You may ask for a copy of your data or for its deletion at any time.</p>
)";
} // namespace

std::optional<QByteArray> page(const QString &path)
{
    if (path == QLatin1String("/faq"))
        return wrap("Frequently asked questions", faq);
    if (path == QLatin1String("/en/conditions-dutilisation/"))
        return wrap("Terms of use", terms);
    if (path == QLatin1String("/en/android-privacy-policy/"))
        return wrap("Privacy policy", privacy);
    return std::nullopt;
}
} // namespace InfoPages
