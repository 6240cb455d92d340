// libFuzzer entry for the record decoders: any body either fails cleanly or decodes to a
// record whose encoding decodes to the same record.
#include "records/Records.h"

#include <cstdint>
#include <cstdlib>

namespace {
template <class T> void check(const QByteArray &body)
{
    DecodingError error;
    const std::optional<T> record = decodeRecord<T>(body, &error);
    if (!record) {
        if (error.problem.isEmpty())
            std::abort(); // a failure must say why
        return;
    }
    const std::optional<T> again = decodeRecord<T>(QJsonValue(encodeRecord(*record)));
    if (!again || !(*again == *record))
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    check<BaseModel<AuthModel>>(body);
    check<BaseModel<UpdateProfile>>(body);
    check<BaseModel<SetupPinModel>>(body);
    check<BaseModel<CheckPinModel>>(body);
    check<BaseModel<RetrievePinModel>>(body);
    check<BaseModel<UpdatePinModel>>(body);
    check<DisablePinModel>(body);
    check<BaseModel<BlockWebsiteModel>>(body);
    check<BaseModel<BlockData>>(body);
    check<UnblockWebsiteModel>(body);
    check<BaseModel<SyncURLModel>>(body);
    check<BaseModel<CategoryList>>(body);
    check<BaseModel<BlockCategoryModel>>(body);
    check<BaseModel<UnblockCategoryModel>>(body);
    return 0;
}
