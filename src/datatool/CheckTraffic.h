#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "check/TrafficCheck.h"

// The check's words on the other aircraft (ClosestApproaches): a section of the report, a
// line per aircraft, the closest first ("traffic: none reported" without any), and the same
// as the JSON array of --json's "traffic".
void PrintTrafficApproaches(FILE* out, const std::vector<TrafficApproach>& approaches);
std::string TrafficApproachesJson(const std::vector<TrafficApproach>& approaches);
