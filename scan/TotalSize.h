#pragma once

#include <QtGlobal>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "platform/WakeUp.h"
#include "scan/HelperClient.h"
#include "scan/ResultList.h"

// Waits until the wake-up is raised or the timeout has passed, with the window live; false when
// the program is ending.
using TWaiter = std::function<bool(TWakeUp& wake, std::chrono::milliseconds timeout)>;

// Measures every listed file afresh in the helper (never following a link; a file that is gone
// counts 0) and makes the sum the list's total, which it returns. A long list is measured in
// parts while `wait` keeps the window live; when the list loses rows meanwhile, it is measured
// anew. Once hurry() is true (Stop), each part must come within THelperClient::kAnswerTime or
// the helper is killed. Each entry takes its size (and, when it had none, its identity) as its
// part comes. nullopt when the helper is gone first or the program ends (the helper is then
// killed too: nothing else may wait behind the measuring); the entries measured by then keep
// their new sizes, and the list's total stays the sum of its entries' sizes.
std::optional<quint64> MeasureTotal(TResultList& list, const std::shared_ptr<THelperClient>& helper,
                                    const TWaiter& wait, const std::function<bool()>& hurry = {});
