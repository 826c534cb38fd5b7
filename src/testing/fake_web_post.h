#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/web_post_component.h"

namespace sccevtmon {

// A web-post component that answers from a script and records every call it receives.
//
// create() takes the next entry of createScript, or createStatus when the script is empty;
// postXmlString() takes the next entry of answers, or defaultAnswer. By default objects cannot
// be created (429), as on a machine where the component is not registered.
class FakeWebPost : public WebPostComponents {
 public:
  struct Answer {
    Status callStatus;   // a failing call (the method raised an error)
    bool result = true;  // the method's answer
    std::string answer;  // argument 6
    std::string error1;  // arguments 7 to 9
    std::string error2;
    std::string error3;
  };

  std::deque<Status> createScript;
  Status createStatus = runtimeError(kErrCannotCreateObject);
  std::deque<Answer> answers;
  Answer defaultAnswer;

  int creations = 0;               // create() calls, failed or not
  int released = 0;                // objects destroyed
  std::vector<PostXmlCall> calls;  // every call as it came in (outputs still empty)
  // Called with every post as it comes in, before it is answered.
  std::function<void(const PostXmlCall&)> onPost;

  // Every post succeeds with this answer.
  void succeed(const std::string& answer = "") {
    createStatus = Status::success();
    defaultAnswer = Answer{Status::success(), true, answer, "", "", ""};
  }
  // Objects are created but every post answers false with these error details.
  void fail(const std::string& e1, const std::string& e2, const std::string& e3) {
    createStatus = Status::success();
    defaultAnswer = Answer{Status::success(), false, "", e1, e2, e3};
  }
  // Objects cannot be created: the component is not registered.
  void failCreation() { createStatus = runtimeError(kErrCannotCreateObject); }
  // Objects cannot be created: the component's type library is not registered.
  void failCreationTypeLib() {
    createStatus = Status{kErrTypeLibNotRegistered, "Automation error"};
  }

  // The URLs posted to, in order.
  std::vector<std::string> urls() const {
    std::vector<std::string> out;
    for (const PostXmlCall& c : calls) out.push_back(c.url);
    return out;
  }

  Status create(std::unique_ptr<WebPostObject>* object) override {
    ++creations;
    Status s = createStatus;
    if (!createScript.empty()) {
      s = createScript.front();
      createScript.pop_front();
    }
    if (!s.ok()) return s;
    *object = std::make_unique<Object>(*this);
    return Status::success();
  }

 private:
  class Object : public WebPostObject {
   public:
    explicit Object(FakeWebPost& owner) : owner_(owner) {}
    ~Object() override { ++owner_.released; }

    Status postXmlString(PostXmlCall& call, bool* result) override {
      owner_.calls.push_back(call);
      if (owner_.onPost) owner_.onPost(call);
      Answer a = owner_.defaultAnswer;
      if (!owner_.answers.empty()) {
        a = owner_.answers.front();
        owner_.answers.pop_front();
      }
      if (!a.callStatus.ok()) return a.callStatus;
      call.answer = a.answer;
      call.error1 = a.error1;
      call.error2 = a.error2;
      call.error3 = a.error3;
      *result = a.result;
      return Status::success();
    }

   private:
    FakeWebPost& owner_;
  };
};

}  // namespace sccevtmon
