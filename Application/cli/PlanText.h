#pragma once

#include "platform/WritePlan.h"

#include <QJsonObject>

#include <string>

// A write's plan as the command line shows it: the diff on stdout ("+ Anna 0301234"), its counts on
// stderr, and in the JSON document.
QJsonObject PlanJson(const TWritePlan& plan);
void PrintPlan(const TWritePlan& plan);
void PrintPlanCounts(const TWritePlan& plan);
// The plan's "+ - ~ !" lines, at most `lines` of them, then "... 12 more, see --dry-run" for the rest.
std::string PlanLinesText(const TWritePlan& plan, int lines);
