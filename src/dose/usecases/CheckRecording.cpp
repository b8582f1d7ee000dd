#include "dose/usecases/CheckRecording.h"

namespace qvr::dose {

Outcome<ReaderCheck> recordCheck(Store& store, Signer& signer, ReaderCheck check) {
    auto signature = signer.sign(check.operatorName, performedCheckMeaning(),
                                 QStringLiteral("record a reader check of head %1 at %2 nm")
                                     .arg(check.headSerial, QString::number(check.wavelengthNm)));
    if (!signature)
        return Failure{signature.error()};
    check.signature = *signature;
    auto receipt = store.addCheck(check);
    if (!receipt)
        return Failure{receipt.error()};
    check.id = receipt->id;
    check.createdAt = store.clock()();
    return check;
}

} // namespace qvr::dose
