#include "tests/support/message_recorder.h"

#include <mutex>

namespace testfiles {

struct MessageRecorder::Record {
    std::mutex lock;
    std::vector<tarnex::MessageRequest> shown;
    Answer answer;
};

MessageRecorder::MessageRecorder() : record_(std::make_shared<Record>()) {
    AnswerWith([](const tarnex::MessageRequest& r) { return (r.type & MB_YESNO) ? IDNO : IDOK; });
    // The seam keeps its own reference: a box shown while the recorder goes
    // away still finds what it needs.
    tarnex::SetMessageAnswerer([record = record_](const tarnex::MessageRequest& request) {
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

MessageRecorder::~MessageRecorder() { tarnex::SetMessageAnswerer({}); }

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

}  // namespace testfiles
