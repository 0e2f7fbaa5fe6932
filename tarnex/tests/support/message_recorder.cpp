#include "tests/support/message_recorder.h"

#include <mutex>
#include <utility>

#include "portable/replace_rules.h"

namespace testfiles {
namespace {

int DefaultAnswer(const tarnex::MessageRequest& r) {
    if (r.question == tarnex::Question::kReplaceFile) return tarnex::kSkip;
    return (r.type & MB_YESNO) ? IDNO : IDOK;
}

}  // namespace

struct MessageRecorder::Record {
    std::mutex lock;
    std::vector<tarnex::MessageRequest> shown;
    Answer answer;
};

MessageRecorder::MessageRecorder() : record_(std::make_shared<Record>()) {
    AnswerWith(DefaultAnswer);
    // The seam keeps its own reference: a box shown while the recorder goes
    // away still finds what it needs.
    previous_ = tarnex::SetMessageAnswerer([record = record_](const tarnex::MessageRequest& request) {
        Answer answer;
        {
            std::lock_guard<std::mutex> hold(record->lock);
            record->shown.push_back(request);
            answer = record->answer;
        }
        return answer(request);
    });
}

MessageRecorder::MessageRecorder(int button) : MessageRecorder() { AnswerWith(button); }

MessageRecorder::~MessageRecorder() { tarnex::SetMessageAnswerer(std::move(previous_)); }

void MessageRecorder::AnswerWith(Answer answer) {
    std::lock_guard<std::mutex> hold(record_->lock);
    record_->answer = std::move(answer);
}

void MessageRecorder::AnswerWith(int button) {
    AnswerWith([button](const tarnex::MessageRequest&) { return button; });
}

std::vector<tarnex::MessageRequest> MessageRecorder::Shown() const {
    std::lock_guard<std::mutex> hold(record_->lock);
    return record_->shown;
}

std::size_t MessageRecorder::Count() const {
    std::lock_guard<std::mutex> hold(record_->lock);
    return record_->shown.size();
}

void MessageRecorder::Clear() {
    std::lock_guard<std::mutex> hold(record_->lock);
    record_->shown.clear();
}

ReplaceAnswerer::ReplaceAnswerer(Answer answer) {
    auto others = std::make_shared<tarnex::MessageAnswerer>();
    previous_ = tarnex::SetMessageAnswerer(
        [others, answer = std::move(answer)](const tarnex::MessageRequest& request) {
            if (request.question == tarnex::Question::kReplaceFile && request.replace != nullptr)
                return answer(*request.replace);
            return *others ? (*others)(request) : DefaultAnswer(request);
        });
    *others = previous_;
}

ReplaceAnswerer::~ReplaceAnswerer() { tarnex::SetMessageAnswerer(std::move(previous_)); }

}  // namespace testfiles
