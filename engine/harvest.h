// Harvesting: after a product's check, a component row for every file the
// check found "Superfluous", in the map's group "Harvested", so that a kit
// of many files needs no row written by hand. The map file is then
// rewritten as any corrected map is. Needs the scan's findings
// (engine/staging_scan.h) and the map as read (engine/map_files.h).
#pragma once

#include <string_view>
#include <vector>

#include "engine/map_files.h"
#include "engine/staging_scan.h"

// The group harvested rows go into; made at the end of the map when the
// map has no group of that name (letter case aside).
constexpr const char* HARVEST_GROUP = "Harvested";

// The lines of a file whose name the installer could not take.
constexpr const char* HARVEST_TOO_LONG_NOTE = "Not harvested: name longer than 8.3";
constexpr const char* HARVEST_BAD_CHARACTER_NOTE = "Not harvested: name not of FAT characters";

// Adds a row to the groups of `reading` (the map of `product`, base name
// `map_base`) for each of `files`, in order: Subgroup empty, Source the
// file's path, Destination "%TARGET%\" and the path, Size the file's size,
// Instantiate?, Append? and Compress? false, no disks, the system's other
// columns 0 or empty. Each added file gets the line "PATH Harvested" at
// `depth`; a file with a part of its path that is no 8.3 name of FAT
// characters gets a line saying why and no row. The map file itself and
// the run's product file are passed over. Turns run->modified on when a row
// was added. RC_OK; RC_NO_OBJECT when a value cannot be made (the rows added
// before stay).
ResultCode harvest_files(RunContext* run, Value product, MapReading* reading,
                         std::string_view map_base, const std::vector<SuperfluousFile>& files,
                         int depth);
