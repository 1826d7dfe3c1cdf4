#pragma once
#include <cstdint>
#include <string>

// Names of the volumes of a split archive whose last volume is dir/base.ext.
namespace torvinel::zipvolumes {

// dir/base_NNN.ext: number counts from 1, at least three digits (001 ... 999, 1000).
std::string advancedName(const std::string& archivePath, uint32_t number);
// dir/base.zNN (or .ZNN): number counts from 1, at least two digits.
std::string classicName(const std::string& archivePath, uint32_t number, bool upperCase);
// The folder part of a path ("." for a bare name).
std::string folderOf(const std::string& path);

} // namespace torvinel::zipvolumes
