#include "ui/gui_call.h"

#include <QPointer>
#include <QThread>
#include <condition_variable>
#include <mutex>

#include "platform/worker.h"

namespace pelvaro {
namespace {

struct CallState {
  std::mutex mutex;
  std::condition_variable_any done;
  bool finished = false;
  bool ran = false;
};

// Owned by the posted functor: when Qt drops the functor unrun (its context died), the
// destructor still releases the waiting caller.
struct Release {
  std::shared_ptr<CallState> state;
  explicit Release(std::shared_ptr<CallState> s) : state(std::move(s)) {}
  ~Release() {
    {
      std::lock_guard lock(state->mutex);
      state->finished = true;
    }
    state->done.notify_all();
  }
  Release(const Release&) = delete;
  Release& operator=(const Release&) = delete;
};

}  // namespace

bool RunOnThreadOf(QObject* context, std::function<void()> op) {
  if (context == nullptr) return false;
  if (QThread::currentThread() == context->thread()) {
    op();
    return true;
  }
  std::stop_token token = CurrentStopToken();
  if (token.stop_requested()) return false;

  auto state = std::make_shared<CallState>();
  auto release = std::make_shared<Release>(state);
  QPointer<QObject> guard(context);
  bool posted = QMetaObject::invokeMethod(
      context,
      [state, release, guard, op = std::move(op)]() {
        if (guard.isNull()) return;
        op();
        std::lock_guard lock(state->mutex);
        state->ran = true;
      },
      Qt::QueuedConnection);
  release.reset();
  if (!posted) return false;

  std::unique_lock lock(state->mutex);
  if (!state->done.wait(lock, token, [&] { return state->finished; })) return false;
  return state->ran;
}

}  // namespace pelvaro
