#include "services/replace_question.h"

#include <atomic>

#include "services/app_context.h"
#include "services/message_box.h"

namespace tarnex {
namespace {

std::atomic<ReplacePresenter> presenter{nullptr};

}  // namespace

ReplacePresenter SetReplacePresenter(ReplacePresenter replacement) { return presenter.exchange(replacement); }

int AskReplace(const ReplaceQuestion& question) {
    if (question.owner == nullptr || question.incoming == nullptr) return -2;
    const MessageRequest request{Question::kReplaceFile, question.owner, question.existingPath, App().Caption, 0,
                                 &question};
    return PutToPerson(request, [&question] {
        const ReplacePresenter show = presenter.load();
        return show != nullptr ? show(question) : 2;
    });
}

}  // namespace tarnex
