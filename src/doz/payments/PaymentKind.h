// What the payment kind of a disposition (IMPGID) means to the files and the
// reports: 1 cash payment, 2 transfer between accounts of the same bank
// (giroconto), 3 payment to a bank current account, 4 cashier's cheque,
// 5 payment to a postal current account.
#pragma once

#include <cstdint>

namespace doz {

namespace payment_kind {
inline constexpr std::int64_t kCash = 1;
inline constexpr std::int64_t kSameBankTransfer = 2;
inline constexpr std::int64_t kBankAccount = 3;
inline constexpr std::int64_t kCashiersCheque = 4;
inline constexpr std::int64_t kPostalAccount = 5;
}  // namespace payment_kind

// The payments on account (bank or postal current account).
inline bool IsAccountPaymentKind(std::int64_t kind) {
    return kind == payment_kind::kBankAccount || kind == payment_kind::kPostalAccount;
}

// The kinds whose fixed-width disposition carries the record "35".
inline bool HasPaymentDetailsRecord(std::int64_t kind) {
    return kind == payment_kind::kSameBankTransfer || kind == payment_kind::kCashiersCheque;
}

// Cash payments and cashier's cheques: no credit transfer can carry them.
inline bool IsCreditTransferKind(std::int64_t kind) {
    return kind != payment_kind::kCash && kind != payment_kind::kCashiersCheque;
}

// The Distinta's group: a postal account payment counts with the bank ones.
inline std::int64_t SummaryGroup(std::int64_t kind) {
    return IsAccountPaymentKind(kind) ? payment_kind::kBankAccount : kind;
}

}  // namespace doz
