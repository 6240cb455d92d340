// Strict decoding of every server record from hand-written answers, and encoding back.
#include "records/FormEncoding.h"
#include "records/Records.h"

#include <QFile>
#include <QJsonDocument>
#include <QtTest>
#include <functional>

namespace {
struct Outcome {
    bool ok = false;
    QString error;
    QJsonObject encoded;
    bool roundTrips = false;
};

template <class T> Outcome run(const QByteArray &body)
{
    DecodingError error;
    const std::optional<T> record = decodeRecord<T>(body, &error);
    if (!record)
        return {false, error.description(), {}, false};
    Outcome out;
    out.ok = true;
    out.encoded = encodeRecord(*record);
    const std::optional<T> again = decodeRecord<T>(QJsonValue(out.encoded));
    out.roundTrips = again && *again == *record;
    return out;
}

const QHash<QString, std::function<Outcome(const QByteArray &)>> &decoders()
{
    static const QHash<QString, std::function<Outcome(const QByteArray &)>> all{
        {"AuthModel", run<BaseModel<AuthModel>>},
        {"UpdateProfile", run<BaseModel<UpdateProfile>>},
        {"SetupPinModel", run<BaseModel<SetupPinModel>>},
        {"CheckPinModel", run<BaseModel<CheckPinModel>>},
        {"RetrievePinModel", run<BaseModel<RetrievePinModel>>},
        {"UpdatePinModel", run<BaseModel<UpdatePinModel>>},
        {"DisablePinModel", run<DisablePinModel>},
        {"BlockWebsiteModel", run<BaseModel<BlockWebsiteModel>>},
        {"BlockData", run<BaseModel<BlockData>>},
        {"UnblockWebsiteModel", run<UnblockWebsiteModel>},
        {"SyncURLModel", run<BaseModel<SyncURLModel>>},
        {"CategoryList", run<BaseModel<CategoryList>>},
        {"BlockCategoryModel", run<BaseModel<BlockCategoryModel>>},
        {"UnblockCategoryModel", run<BaseModel<UnblockCategoryModel>>},
        {"LogoutModel", run<LogoutModel>},
        {"BlockedAppList", run<BaseModel<BlockedAppList>>},
    };
    return all;
}

QByteArray fixture(const QString &name)
{
    QFile file(QStringLiteral(NIMBREL_TEST_DATA_DIR "/api/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonValue jsonValue(const QString &text)
{
    return QJsonDocument::fromJson('[' + text.toUtf8() + ']').array().first();
}

// Sets (or with no value removes) the member at a path such as "data.links[1].active".
QJsonValue changed(const QJsonValue &node, QStringList path, const std::optional<QJsonValue> &value)
{
    const QString head = path.takeFirst();
    if (head.startsWith(QLatin1Char('['))) {
        QJsonArray array = node.toArray();
        const int index = head.mid(1, head.size() - 2).toInt();
        if (path.isEmpty())
            value ? array.replace(index, *value) : array.removeAt(index);
        else
            array.replace(index, changed(array.at(index), path, value));
        return array;
    }
    QJsonObject object = node.toObject();
    if (path.isEmpty())
        value ? void(object.insert(head, *value)) : object.remove(head);
    else
        object.insert(head, changed(object.value(head), path, value));
    return object;
}

QByteArray mutated(const QByteArray &body, const QString &path, const QString &value)
{
    if (path.isEmpty())
        return body;
    QStringList segments;
    for (const QString &part : path.split(QLatin1Char('.'))) {
        const qsizetype bracket = part.indexOf(QLatin1Char('['));
        segments << (bracket < 0 ? part : part.left(bracket));
        if (bracket >= 0)
            segments << part.mid(bracket);
    }
    std::optional<QJsonValue> newValue;
    if (value != QLatin1String("<remove>"))
        newValue = jsonValue(value);
    const QJsonValue root = changed(QJsonDocument::fromJson(body).object(), segments, newValue);
    return QJsonDocument(root.toObject()).toJson(QJsonDocument::Compact);
}

QJsonValue withoutNulls(const QJsonValue &value)
{
    if (value.isObject()) {
        QJsonObject out;
        const QJsonObject in = value.toObject();
        for (auto it = in.begin(); it != in.end(); ++it) {
            if (!it->isNull())
                out.insert(it.key(), withoutNulls(*it));
        }
        return out;
    }
    if (value.isArray()) {
        QJsonArray out;
        for (const QJsonValue &item : value.toArray())
            out.append(withoutNulls(item));
        return out;
    }
    return value;
}
} // namespace

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    // What the app writes is what the server reads back, whatever the text holds.
    void formBodiesSurviveTheWire()
    {
        const FormFields fields{{"email", "zoé+tag@example.org"}, {"password", "a b&c=d%e"}, {"pin", ""}};
        const QByteArray body = encodeForm(fields);
        QCOMPARE(body, QByteArray("email=zo%C3%A9%2Btag%40example.org&password=a%20b%26c%3Dd%25e&pin="));
        QCOMPARE(decodeForm(body), fields);
        // Other clients write blanks as "+".
        QCOMPARE(decodeForm("name=Ada+Byron&&device"), (FormFields{{"name", "Ada Byron"}, {"device", ""}}));
    }

    void decodesStrictly_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("body");  // a fixture file, or "raw:" and the body itself
        QTest::addColumn<QString>("path");  // what to change in it, if anything
        QTest::addColumn<QString>("value"); // JSON text, or <remove>
        QTest::addColumn<QString>("error"); // empty: decodes
        const auto add = [](const char *name, const char *record, const char *body, const char *path, const char *value,
                            const char *error) { QTest::newRow(name) << record << body << path << value << error; };
        const auto valid = [&](const char *name, const char *record, const char *body) {
            add(name, record, body, "", "", "");
        };

        // Every endpoint's answer as the server sends it.
        valid("sign-in with PIN record", "AuthModel", "login.json");
        valid("sign-up without PIN record", "AuthModel", "signup.json");
        valid("refused sign-in, data null", "AuthModel", "login-refused.json");
        valid("password reset without data", "AuthModel", "forgot-password.json");
        valid("profile update", "UpdateProfile", "update-profile.json");
        valid("setupPin", "SetupPinModel", "setupPin.json");
        valid("checkPin", "CheckPinModel", "checkPin.json");
        valid("retrievePin with user", "RetrievePinModel", "retrievePin.json");
        valid("updatePin", "UpdatePinModel", "updatePin.json");
        valid("removepin", "DisablePinModel", "removepin.json");
        valid("blacklist page, null next page", "BlockWebsiteModel", "getblockwebsitebyuser.json");
        valid("block website", "BlockData", "blockwesitebyuser.json");
        valid("unblock website", "UnblockWebsiteModel", "unblockwesitebyuser.json");
        valid("sync-url with account fields", "SyncURLModel", "sync-url.json");
        valid("categories", "CategoryList", "category.json");
        valid("block category", "BlockCategoryModel", "blockcategory.json");
        valid("unblock category", "UnblockCategoryModel", "unblockcategory.json");
        valid("logout", "LogoutModel", "logout.json");

        // The envelope.
        add("data missing", "CheckPinModel", "checkPin.json", "data", "<remove>", "");
        add("data null", "BlockData", "blockwesitebyuser.json", "data", "null", "");
        add("status as text", "AuthModel", "login.json", "status", "\"true\"",
            "\"status\": expected a boolean, found a string");
        add("msg missing", "LogoutModel", "logout.json", "msg", "<remove>", "\"msg\": required key is missing");
        add("version as number", "SyncURLModel", "sync-url.json", "version", "3",
            "\"version\": expected a string, found a number");
        add("unknown keys ignored", "BlockData", "blockwesitebyuser.json", "data.extra", "{\"nested\":[1,2]}", "");
        add("array body", "LogoutModel", "raw:[1,2]", "", "", "body: expected an object, found an array");
        add("string body", "LogoutModel", "raw:\"ok\"", "", "", "body: expected an object, found a string");
        add("not JSON", "AuthModel", "raw:<html>502</html>", "", "", "body: not valid JSON");
        add("trailing garbage", "LogoutModel", "raw:{\"status\":true} x", "", "", "body: not valid JSON");
        add("empty body", "LogoutModel", "raw:", "", "", "body: not a single JSON value");

        // Integers are signed 64-bit JSON integers, nothing else.
        const char *notAnInteger =
            "\"data.id\": expected an integer, found a number that is not a signed 64-bit integer";
        add("id at int64 max", "AuthModel", "login.json", "data.id", "9223372036854775807", "");
        add("id beyond int64", "AuthModel", "login.json", "data.id", "9223372036854775808", notAnInteger);
        add("id with fraction", "AuthModel", "login.json", "data.id", "7.5", notAnInteger);
        add("id as text", "AuthModel", "login.json", "data.id", "\"7\"",
            "\"data.id\": expected an integer, found a string");

        // AuthModel and its nested PIN record.
        add("token missing", "AuthModel", "login.json", "data.token", "<remove>",
            "\"data.token\": required key is missing");
        add("otp as text in AuthModel", "AuthModel", "login.json", "data.otp", "\"4821\"",
            "\"data.otp\": expected an integer, found a string");
        add("pin_protection null", "AuthModel", "login.json", "data.pin_protection", "null", "");
        add("nested pin as text", "AuthModel", "login.json", "data.pin_protection.pin", "\"482913\"",
            "\"data.pin_protection.pin\": expected an integer, found a string");
        add("nested time missing", "SyncURLModel", "sync-url.json", "data.pin_protection.time", "<remove>",
            "\"data.pin_protection.time\": required key is missing");
        add("sync-url without PIN", "SyncURLModel", "sync-url.json", "data.pin_protection", "<remove>", "");
        // A server that keeps no protection on the account leaves both fields out.
        add("sync-url of a classic server", "SyncURLModel", "sync-url.json", "data.device_protected", "<remove>", "");
        add("device_protected as number", "SyncURLModel", "sync-url.json", "data.device_protected", "1",
            "\"data.device_protected\": expected a boolean, found a number");
        add("blocked app without id", "SyncURLModel", "sync-url.json", "data.blocked_apps[0].app_id", "<remove>",
            "\"data.blocked_apps[0].app_id\": required key is missing");
        valid("block application", "BlockedAppList", "blockapp.json");

        // The user record: otp is text here.
        add("otp as number in UpdateProfile", "UpdateProfile", "update-profile.json", "data.otp", "4821",
            "\"data.otp\": expected a string, found a number");
        add("retrievePin user otp as number", "RetrievePinModel", "retrievePin.json", "data.user.otp", "1",
            "\"data.user.otp\": expected a string, found a number");
        add("retrievePin without user", "RetrievePinModel", "retrievePin.json", "data.user", "<remove>", "");
        add("retrievePin without is_block", "RetrievePinModel", "retrievePin.json", "data.is_block", "<remove>", "");

        // The PIN records differ in types and presence.
        add("setupPin pin as number", "SetupPinModel", "setupPin.json", "data.pin", "482913",
            "\"data.pin\": expected a string, found a number");
        add("setupPin time as number", "SetupPinModel", "setupPin.json", "data.time", "24",
            "\"data.time\": expected a string, found a number");
        add("setupPin without dates", "SetupPinModel", "setupPin.json", "data.created_at", "<remove>", "");
        add("checkPin pin as text", "CheckPinModel", "checkPin.json", "data.pin", "\"482913\"",
            "\"data.pin\": expected an integer, found a string");
        add("checkPin without is_block", "CheckPinModel", "checkPin.json", "data.is_block", "<remove>",
            "\"data.is_block\": required key is missing");
        add("checkPin without created_at", "CheckPinModel", "checkPin.json", "data.created_at", "<remove>",
            "\"data.created_at\": required key is missing");
        add("updatePin pin as number", "UpdatePinModel", "updatePin.json", "data.pin", "135790",
            "\"data.pin\": expected a string, found a number");
        add("updatePin without updated_at", "UpdatePinModel", "updatePin.json", "data.updated_at", "<remove>", "");

        // The blacklist page.
        const char *page = "getblockwebsitebyuser.json";
        add("page without links", "BlockWebsiteModel", page, "data.links", "<remove>",
            "\"data.links\": required key is missing");
        add("link active as text", "BlockWebsiteModel", page, "data.links[1].active", "\"true\"",
            "\"data.links[1].active\": expected a boolean, found a string");
        add("link without label", "BlockWebsiteModel", page, "data.links[0].label", "<remove>",
            "\"data.links[0].label\": required key is missing");
        add("site without domain", "BlockWebsiteModel", page, "data.data[1].domain", "<remove>",
            "\"data.data[1].domain\": required key is missing");
        add("page data as object", "BlockWebsiteModel", page, "data.data", "{}",
            "\"data.data\": expected an array, found an object");
        add("page paging fields absent", "BlockWebsiteModel", page, "data.current_page", "<remove>", "");
        add("blocked site user_id as text", "BlockData", "blockwesitebyuser.json", "data.user_id", "\"7\"",
            "\"data.user_id\": expected an integer, found a string");

        // Categories.
        add("no categories", "CategoryList", "category.json", "data", "[]", "");
        add("category flag as boolean", "CategoryList", "category.json", "data[2].is_block_category", "true",
            "\"data[2].is_block_category\": expected an integer, found a boolean");
        add("block category_id as number", "BlockCategoryModel", "blockcategory.json", "data.category_id", "2",
            "\"data.category_id\": expected a string, found a number");
        add("unblock category_id as text", "UnblockCategoryModel", "unblockcategory.json", "data.category_id", "\"2\"",
            "\"data.category_id\": expected an integer, found a string");

        // The envelopes whose data is required.
        add("removepin data null", "DisablePinModel", "removepin.json", "data", "null",
            "\"data\": required value is null");
        add("logout data missing", "LogoutModel", "logout.json", "data", "<remove>",
            "\"data\": required key is missing");
        add("logout data of numbers", "LogoutModel", "logout.json", "data", "[1]",
            "\"data[0]\": expected a string, found a number");
        add("unblock website data as text", "UnblockWebsiteModel", "unblockwesitebyuser.json", "data", "\"1\"",
            "\"data\": expected an integer, found a string");
    }
    void decodesStrictly()
    {
        QFETCH(QString, record);
        QFETCH(QString, body);
        QFETCH(QString, path);
        QFETCH(QString, value);
        QFETCH(QString, error);

        const QByteArray original = body.startsWith(QLatin1String("raw:")) ? body.mid(4).toUtf8() : fixture(body);
        QVERIFY2(body.startsWith(QLatin1String("raw:")) || !original.isEmpty(), "fixture missing");
        const Outcome out = decoders().value(record)(mutated(original, path, value));
        if (!error.isEmpty()) {
            QVERIFY2(!out.ok, "decoded a body that must fail");
            QVERIFY2(out.error.startsWith(error), qPrintable(out.error));
            return;
        }
        QVERIFY2(out.ok, qPrintable(out.error));
        QVERIFY2(out.roundTrips, "the encoded record does not decode to the same record");
    }

    // The encoders write exactly the keys the server sends: an answer without unknown keys
    // comes back unchanged, apart from optional keys that were null.
    void encodesToTheSameJson_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("file");
        const QList<QPair<QString, QString>> answers{
            {"AuthModel", "login.json"},
            {"AuthModel", "signup.json"},
            {"AuthModel", "login-refused.json"},
            {"UpdateProfile", "update-profile.json"},
            {"SetupPinModel", "setupPin.json"},
            {"CheckPinModel", "checkPin.json"},
            {"RetrievePinModel", "retrievePin.json"},
            {"UpdatePinModel", "updatePin.json"},
            {"DisablePinModel", "removepin.json"},
            {"BlockWebsiteModel", "getblockwebsitebyuser.json"},
            {"BlockData", "blockwesitebyuser.json"},
            {"UnblockWebsiteModel", "unblockwesitebyuser.json"},
            {"CategoryList", "category.json"},
            {"BlockCategoryModel", "blockcategory.json"},
            {"UnblockCategoryModel", "unblockcategory.json"},
            {"LogoutModel", "logout.json"},
        };
        for (const auto &[record, file] : answers)
            QTest::newRow(qPrintable(file)) << record << file;
    }
    void encodesToTheSameJson()
    {
        QFETCH(QString, record);
        QFETCH(QString, file);
        const QByteArray body = fixture(file);
        const Outcome out = decoders().value(record)(body);
        QVERIFY2(out.ok, qPrintable(out.error));
        QCOMPARE(QJsonValue(out.encoded), withoutNulls(QJsonDocument::fromJson(body).object()));
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
