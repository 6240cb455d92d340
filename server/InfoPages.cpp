#include "InfoPages.h"

namespace InfoPages {
namespace {
QByteArray wrap(const char *lang, const char *title, const char *body)
{
    return QByteArrayLiteral("<!DOCTYPE html><html lang=\"") + lang +
           QByteArrayLiteral("\"><head><meta charset=\"utf-8\">"
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
<p>Use "Retrieve my pin code by e-mail" in the PIN window. The PIN is sent to your e-mail address once the
waiting time you chose has passed. If you chose "Forever", write to support through the live chat.</p>
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
// The French pages use the app's French words for its buttons and choices.
const char faqFr[] = R"(
<h2>Que fait Nimbrel&nbsp;?</h2>
<p>Tant que la protection est active, votre ordinateur cherche les noms des sites par le serveur DNS de
Nimbrel, qui refuse les sites et les catégories de vos listes. Nimbrel ferme aussi les applications que vous
bloquez.</p>
<h2>Pourquoi un site que j'ai bloqué s'affiche-t-il encore&nbsp;?</h2>
<p>Votre navigateur peut garder l'adresse en mémoire quelques minutes, ou utiliser son propre DNS sécurisé.
Redémarrez le navigateur ; Nimbrel bloque pour vous les services courants de DNS chiffré.</p>
<h2>J'ai oublié mon code PIN.</h2>
<p>Utilisez «&nbsp;Recevoir mon code PIN par e-mail&nbsp;» dans la fenêtre du code PIN. Le code vous est envoyé par
e-mail une fois écoulé le délai d'attente choisi. Si vous avez choisi «&nbsp;Pour toujours&nbsp;», écrivez au support
par la discussion en direct.</p>
<h2>Comment arrêter d'utiliser Nimbrel&nbsp;?</h2>
<p>Désactivez la protection (votre code PIN peut être demandé), puis utilisez Désinstaller sur l'écran de
protection.</p>
)";

const char termsFr[] = R"(
<p>Ces conditions s'appliquent à l'application et au service Nimbrel fournis par l'exploitant de ce
serveur.</p>
<h2>Le service</h2>
<p>Nimbrel filtre les recherches de noms des appareils que vous protégez et ferme les applications que vous
choisissez de bloquer. C'est une aide à la maîtrise de soi, pas une garantie : certains contenus peuvent
passer.</p>
<h2>Votre compte</h2>
<p>Gardez pour vous votre mot de passe et votre code PIN. Un code PIN avec délai d'attente vous empêche
d'affaiblir votre protection tant que ce délai n'est pas écoulé ; l'exploitant ne peut pas le raccourcir.</p>
<h2>Fin du service</h2>
<p>Vous pouvez cesser d'utiliser le service et supprimer votre compte à tout moment.</p>
)";

const char privacyFr[] = R"(
<p>Cette politique explique ce que le service Nimbrel conserve à votre sujet.</p>
<h2>Ce que nous conservons</h2>
<p>Votre adresse e-mail, votre nom si vous le donnez, les noms et identifiants de vos appareils, vos listes
de blocage et l'adresse réseau depuis laquelle votre appareil s'est synchronisé en dernier, pour que le filtre
sache que c'est vous.</p>
<h2>Ce que nous ne conservons pas</h2>
<p>Nous n'enregistrons pas les sites que vous visitez. Les mots de passe sont conservés sous forme d'empreintes
irréversibles ; les codes PIN sont chiffrés.</p>
<h2>Vos choix</h2>
<p>Vous pouvez demander à tout moment une copie de vos données ou leur suppression.</p>
)";
} // namespace

std::optional<QByteArray> page(const QString &path, Language language)
{
    const bool fr = language == Language::french;
    if (path == QLatin1String("/faq"))
        return fr ? wrap("fr", "Questions fréquentes", faqFr) : wrap("en", "Frequently asked questions", faq);
    if (path == QLatin1String("/en/conditions-dutilisation/"))
        return fr ? wrap("fr", "Conditions d'utilisation", termsFr) : wrap("en", "Terms of use", terms);
    if (path == QLatin1String("/en/android-privacy-policy/"))
        return fr ? wrap("fr", "Politique de confidentialité", privacyFr) : wrap("en", "Privacy policy", privacy);
    return std::nullopt;
}
} // namespace InfoPages
