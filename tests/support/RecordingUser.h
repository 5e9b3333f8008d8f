#pragma once

#include "platform/UserInteraction.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

// Answers as the test scripts it and keeps every text shown, in order.
class TRecordingUser : public TUserInteraction {
public:
    struct TShown {
        TMessageKind kind;
        std::string text;
        TButtons buttons;
    };

    void ShowStatus(const std::string& text) override { Statuses.push_back(text); }
    TAnswer ShowMessage(TMessageKind kind, const std::string& text, TButtons buttons) override {
        Messages.push_back({kind, text, buttons});
        if (Answers.empty())
            return buttons == TButtons::AbortIgnore ? TAnswer::Abort : TAnswer::Ok;
        const TAnswer answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    TWriteMode AskWriteMode(const std::string& addCaption, const std::string& replaceCaption) override {
        WriteModeCaptions.push_back(addCaption + " | " + replaceCaption);
        return WriteMode;
    }
    void ProgressStart(int min, int max, int) override {
        Progress.push_back("start " + std::to_string(min) + ".." + std::to_string(max));
    }
    void ProgressStep() override { ++Steps; }
    void ProgressAnimated() override { Progress.push_back("animated"); }
    void ProgressEnd() override { Progress.push_back("end"); }
    void SetBusy(bool busy) override { BusyChanges.push_back(busy); }
    void SetRowColour(int row, TRowColour colour) override {
        RowColours.push_back({row, colour});
        if (colour == TRowColour::Window)
            Colours.erase(row);
        else
            Colours[row] = colour;
    }
    // Recorded as row 0.
    void ResetRowColours() override {
        RowColours.push_back({0, TRowColour::Window});
        Colours.clear();
    }
    void ShowListEntry(TListKind list, int entry) override {
        if (entry == AllEntries)
            ++WholeListsShown;
        else if (list == TListKind::PhoneBook)
            ShownEntries.push_back(entry);
    }
    void HandsetConnected(int capacity, uint8_t level) override { Connections.push_back({capacity, level}); }
    // Keeps every plan shown; PlanAnswer says whether the write goes on.
    bool ConfirmPlan(const TWritePlan& plan) override {
        Plans.push_back(plan);
        return PlanAnswer;
    }
    TRowColour Colour(int row) const {
        const auto found = Colours.find(row);
        return found == Colours.end() ? TRowColour::Window : found->second;
    }

    std::string LastStatus() const { return Statuses.empty() ? std::string() : Statuses.back(); }

    std::deque<TAnswer> Answers;
    TWriteMode WriteMode = TWriteMode::Cancel;
    bool PlanAnswer = true;
    std::vector<TWritePlan> Plans;

    std::vector<std::string> Statuses;
    std::vector<TShown> Messages;
    std::vector<std::string> WriteModeCaptions;
    std::vector<std::string> Progress;
    int Steps = 0;
    std::vector<bool> BusyChanges;
    std::vector<std::pair<int, TRowColour>> RowColours;
    // Phone book entries shown one by one, and lists shown whole.
    std::vector<int> ShownEntries;
    int WholeListsShown = 0;
    // Capacity and level of each connection.
    std::vector<std::pair<int, uint8_t>> Connections;
    // The rows not in the window colour now.
    std::map<int, TRowColour> Colours;
};
