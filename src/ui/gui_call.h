#pragma once
// Running one operation on the thread that owns a QObject (the GUI thread for windows).

#include <QObject>
#include <functional>
#include <memory>
#include <utility>

namespace pelvaro {

// Runs op on the thread of `context`: directly when called there, otherwise posted to it while
// the caller waits. The wait ends early, and op may then still run later or never, when the
// calling worker is asked to stop or when `context` is destroyed before op ran. Returns true when
// op ran to its end. Never waits with a lock held and never uses a blocking connection, so a
// GUI thread that is itself waiting for workers cannot deadlock a stopped caller.
bool RunOnThreadOf(QObject* context, std::function<void()> op);

// The same for an operation with a result; R{} when op did not run to its end.
template <class R, class Op>
R CallOnThreadOf(QObject* context, Op op) {
  // Shared so that an op that runs after its caller gave up still writes to live memory.
  auto result = std::make_shared<R>();
  bool ran = RunOnThreadOf(context, [result, op = std::move(op)]() mutable { *result = op(); });
  return ran ? std::move(*result) : R{};
}

}  // namespace pelvaro
