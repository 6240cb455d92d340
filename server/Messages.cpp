#include "Messages.h"

#include <QMap>

namespace {
struct Texts {
    const char *en;
    const char *fr;
};

// The app compares the two PIN refusals with fixed English texts, so they read the same in
// both languages.
const QMap<Msg, Texts> &table()
{
    static const QMap<Msg, Texts> texts{
        {Msg::unauthenticated, {"Unauthenticated.", "Non authentifié."}},
        {Msg::notFound, {"Not found.", "Introuvable."}},
        {Msg::methodNotAllowed, {"This method is not allowed here.", "Cette méthode n'est pas permise ici."}},
        {Msg::serverError,
         {"Something went wrong on the server. Please try again later.",
          "Une erreur s'est produite sur le serveur. Veuillez réessayer plus tard."}},
        {Msg::malformedRequest, {"The request is malformed.", "La requête est mal formée."}},
        {Msg::requestTimedOut, {"The request took too long to arrive.", "La requête a mis trop de temps à arriver."}},
        {Msg::requestTooLarge, {"The request is too large.", "La requête est trop volumineuse."}},
        {Msg::invalidEmail, {"Please enter a valid e-mail address.", "Veuillez saisir une adresse e-mail valide."}},
        {Msg::passwordTooShort,
         {"The password must have at least 8 characters.", "Le mot de passe doit contenir au moins 8 caractères."}},
        {Msg::passwordTooLong,
         {"The password must have at most 1024 characters.", "Le mot de passe doit contenir au plus 1024 caractères."}},
        {Msg::invalidName,
         {"The name must have at most 100 characters, on one line.",
          "Le nom doit contenir au plus 100 caractères, sur une seule ligne."}},
        {Msg::invalidDeviceName,
         {"The device name must have at most 100 characters, on one line.",
          "Le nom de l'appareil doit contenir au plus 100 caractères, sur une seule ligne."}},
        {Msg::emailTaken,
         {"An account with this e-mail address already exists.", "Un compte existe déjà avec cette adresse e-mail."}},
        {Msg::signupThroughSocial,
         {"To join with Google or Facebook, use the Google or Facebook sign-in.",
          "Pour vous inscrire avec Google ou Facebook, utilisez la connexion Google ou Facebook."}},
        {Msg::registered, {"Registered successfully", "Inscription réussie"}},
        {Msg::signedIn, {"Login successfully", "Connexion réussie"}},
        {Msg::badCredentials,
         {"These credentials do not match our records.", "Ces identifiants ne correspondent à aucun compte."}},
        {Msg::tooManyLogins,
         {"Too many failed sign-in attempts. Please try again in %1 minutes.",
          "Trop de tentatives de connexion échouées. Veuillez réessayer dans %1 minutes."}},
        {Msg::tooManyRequests,
         {"Too many requests from your network. Please try again in %1 minutes.",
          "Trop de demandes depuis votre réseau. Veuillez réessayer dans %1 minutes."}},
        {Msg::busy,
         {"The server is busy. Please try again in a moment.",
          "Le serveur est occupé. Veuillez réessayer dans un instant."}},
        {Msg::unknownSignInMethod, {"Unknown sign-in method.", "Méthode de connexion inconnue."}},
        {Msg::socialUnavailable,
         {"Sign-in with %1 is not available on this server.",
          "La connexion avec %1 n'est pas disponible sur ce serveur."}},
        {Msg::socialRejected,
         {"Your %1 sign-in could not be verified. Please try again.",
          "Votre connexion %1 n'a pas pu être vérifiée. Veuillez réessayer."}},
        {Msg::socialEmailTaken,
         {"This e-mail address already has an account: please sign in with its password.",
          "Cette adresse e-mail a déjà un compte : connectez-vous avec son mot de passe."}},
        {Msg::passwordNotSet,
         {"These credentials do not match our records.", "Ces identifiants ne correspondent à aucun compte."}},
        {Msg::resetLinkSent,
         {"If an account exists for this address, we have e-mailed a link to reset your password.",
          "Si un compte existe pour cette adresse, nous y avons envoyé un lien pour réinitialiser votre mot de "
          "passe."}},
        {Msg::profileUpdated, {"Profile updated", "Profil mis à jour"}},
        {Msg::pinFormat, {"The pin must have exactly 6 digits.", "Le code PIN doit comporter exactement 6 chiffres."}},
        {Msg::pinWaitingTime,
         {"Please choose a waiting time of 12, 24 or 48 hours, or forever.",
          "Veuillez choisir un délai de 12, 24 ou 48 heures, ou pour toujours."}},
        {Msg::pinAlreadySet, {"Pin already set", "Le code PIN est déjà défini"}},
        {Msg::pinSet, {"Pin set successfully", "Code PIN défini"}},
        {Msg::noPin, {"No pin is set for this account.", "Aucun code PIN n'est défini pour ce compte."}},
        {Msg::wrongPin, {"Please enter a valid otp.", "Please enter a valid otp."}},
        {Msg::pinBlocked, {"Your pin has been bloked.", "Your pin has been bloked."}},
        {Msg::pinMatched, {"Pin matched", "Code PIN vérifié"}},
        {Msg::pinUpdated, {"Pin updated", "Code PIN modifié"}},
        {Msg::pinRemoved, {"Pin removed", "Code PIN supprimé"}},
        {Msg::pinRequired, {"Please verify your pin first.", "Veuillez d'abord vérifier votre code PIN."}},
        {Msg::retrievalScheduled,
         {"Your pin will be e-mailed to you on %1 (UTC).", "Votre code PIN vous sera envoyé par e-mail le %1 (UTC)."}},
        {Msg::retrievalPending,
         {"Your pin was already asked for: it will be e-mailed to you on %1 (UTC).",
          "Votre code PIN a déjà été demandé : il vous sera envoyé par e-mail le %1 (UTC)."}},
        {Msg::retrievalForever,
         {"This pin is never sent by e-mail: the only way to get it back is to chat with a therapist on the live "
          "chat.",
          "Ce code PIN n'est jamais envoyé par e-mail : le seul moyen de le récupérer est de discuter avec un "
          "thérapeute sur le chat en direct."}},
        {Msg::userMismatch,
         {"This request is not for the signed-in account.", "Cette demande ne concerne pas le compte connecté."}},
        {Msg::blacklist, {"Blocked websites", "Sites bloqués"}},
        {Msg::websiteBlocked, {"Website blocked", "Site bloqué"}},
        {Msg::websiteInvalid,
         {"Please enter a valid website address, such as example.com.",
          "Veuillez saisir une adresse de site valide, par exemple example.com."}},
        {Msg::websiteDuplicate,
         {"This website is already in your blacklist.", "Ce site est déjà dans votre liste noire."}},
        {Msg::websiteNotFound, {"This website is not in your blacklist.", "Ce site n'est pas dans votre liste noire."}},
        {Msg::websiteUnblocked, {"Website unblocked", "Site débloqué"}},
        {Msg::categories, {"Categories", "Catégories"}},
        {Msg::categoryNotFound, {"This category does not exist.", "Cette catégorie n'existe pas."}},
        {Msg::categoryBlocked, {"Category blocked", "Catégorie bloquée"}},
        {Msg::categoryNotBlocked, {"This category is not blocked.", "Cette catégorie n'est pas bloquée."}},
        {Msg::categoryUnblocked, {"Category unblocked", "Catégorie débloquée"}},
        {Msg::appInvalid, {"This application cannot be blocked.", "Cette application ne peut pas être bloquée."}},
        {Msg::appBlocked, {"Application blocked", "Application bloquée"}},
        {Msg::appNotBlocked, {"This application is not blocked.", "Cette application n'est pas bloquée."}},
        {Msg::appUnblocked, {"Application unblocked", "Application débloquée"}},
        {Msg::focusLocked,
         {"A focus session holds your blocks until %1 (%2 left).",
          "Une session de concentration maintient vos blocages jusqu'à %1 (%2 restantes)."}},
        {Msg::focusMinutes,
         {"A focus session lasts from 15 minutes to 24 hours.",
          "Une session de concentration dure de 15 minutes à 24 heures."}},
        {Msg::focusRunning,
         {"A focus session is already running until %1.",
          "Une session de concentration est déjà en cours jusqu'à %1."}},
        {Msg::focusStarted, {"Focus session started", "Session de concentration démarrée"}},
        {Msg::focusStatus, {"Focus status", "État de la concentration"}},
        {Msg::scheduleLocked,
         {"Your schedule \"%1\" holds your blocks until %2 (%3 left).",
          "Votre horaire « %1 » maintient vos blocages jusqu'à %2 (%3 restantes)."}},
        {Msg::scheduleSaved, {"Schedule saved", "Horaire enregistré"}},
        {Msg::scheduleDeleted, {"Schedule deleted", "Horaire supprimé"}},
        {Msg::scheduleNotFound, {"This schedule does not exist.", "Cet horaire n'existe pas."}},
        {Msg::scheduleName,
         {"Please name the schedule, in at most 100 characters on one line.",
          "Veuillez nommer l'horaire, en 100 caractères au plus sur une seule ligne."}},
        {Msg::scheduleDays,
         {"Please choose at least one day of the week.", "Veuillez choisir au moins un jour de la semaine."}},
        {Msg::scheduleTimes,
         {"Please give the start and end times as HH:mm, such as 09:00.",
          "Veuillez indiquer les heures de début et de fin au format HH:mm, par exemple 09:00."}},
        {Msg::scheduleTimeZone, {"This time zone is not known.", "Ce fuseau horaire est inconnu."}},
        {Msg::scheduleLimit,
         {"You can have at most 20 schedules.", "Vous pouvez avoir au plus 20 horaires."}},
        {Msg::synced, {"Device synced", "Appareil synchronisé"}},
        {Msg::nothingToSync,
         {"Nothing to sync: nobody is signed in.", "Rien à synchroniser : personne n'est connecté."}},
        {Msg::loggedOut, {"Logged out", "Déconnecté"}},
        {Msg::resetTitle, {"Choose a new password", "Choisissez un nouveau mot de passe"}},
        {Msg::resetNewPassword, {"New password", "Nouveau mot de passe"}},
        {Msg::resetConfirmPassword, {"Confirm the new password", "Confirmez le nouveau mot de passe"}},
        {Msg::resetSave, {"Save", "Enregistrer"}},
        {Msg::resetLinkInvalid,
         {"This link is no longer valid. Please ask for a new one in the app.",
          "Ce lien n'est plus valide. Veuillez en demander un nouveau dans l'application."}},
        {Msg::resetMismatch, {"The two passwords differ.", "Les deux mots de passe sont différents."}},
        {Msg::resetDone,
         {"Your password has been changed. You can now sign in with it in the app.",
          "Votre mot de passe a été modifié. Vous pouvez maintenant vous connecter avec lui dans l'application."}},
        {Msg::resetMailSubject, {"Reset your Nimbrel password", "Réinitialisez votre mot de passe Nimbrel"}},
        {Msg::resetMailBody,
         {"Hello,\n\nSomebody (hopefully you) asked to reset the password of your Nimbrel account.\n"
          "Open this link to choose a new password:\n\n%1\n\n"
          "The link works once and for %2 minutes. If you did not ask for it, ignore this e-mail: your password "
          "stays as it is.\n",
          "Bonjour,\n\nQuelqu'un (vous, espérons-le) a demandé à réinitialiser le mot de passe de votre compte "
          "Nimbrel.\nOuvrez ce lien pour choisir un nouveau mot de passe :\n\n%1\n\n"
          "Le lien fonctionne une seule fois, pendant %2 minutes. Si vous n'avez rien demandé, ignorez cet e-mail : "
          "votre mot de passe ne change pas.\n"}},
        {Msg::pinMailSubject, {"Your Nimbrel pin code", "Votre code PIN Nimbrel"}},
        {Msg::pinMailBody,
         {"Hello,\n\nYou asked for your Nimbrel pin code and the waiting time is over.\n\nYour pin code: %1\n",
          "Bonjour,\n\nVous avez demandé votre code PIN Nimbrel et le délai d'attente est écoulé.\n\n"
          "Votre code PIN : %1\n"}},
    };
    return texts;
}
} // namespace

Language languageFrom(const QString &header)
{
    const QString code = header.trimmed().section(QLatin1Char('-'), 0, 0).section(QLatin1Char('_'), 0, 0);
    return code.compare(QLatin1String("fr"), Qt::CaseInsensitive) == 0 ? Language::french : Language::english;
}

QString text(Msg message, Language language)
{
    const Texts t = table().value(message, Texts{"", ""});
    return QString::fromUtf8(language == Language::french ? t.fr : t.en);
}
