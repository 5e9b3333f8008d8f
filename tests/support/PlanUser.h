#pragma once

#include "support/FakeLink.h"
#include "support/RecordingUser.h"

// A recording user that also notes how many frames the link had carried when the plan was shown, so
// that a test can count the mails a write sent after its plan.
class TPlanUser : public TRecordingUser {
public:
    explicit TPlanUser(const TFakeLink& link)
        : Link(link) {}
    bool ConfirmPlan(const TWritePlan& plan) override {
        FramesAtPlan = Link.Frames.size();
        return TRecordingUser::ConfirmPlan(plan);
    }
    // The mails the write sent after its plan was shown.
    size_t SentAfterPlan() const { return Link.Frames.size() - FramesAtPlan; }

    size_t FramesAtPlan = 0;

private:
    const TFakeLink& Link;
};
