// What is looked at before a run begins: whether its RUN names a control
// file at all, and whether its outputs are already up to date (--resume).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrel {

// The .inp files of a folder (in any case), in name order.
[[nodiscard]] std::vector<std::string> inp_files(const std::filesystem::path& folder);

// "<folder> has no AERMOD.INP; its control files: a.inp, b.inp (give it as
// <prefix>a.inp)", or "...; no .inp file": what a folder RUN without its
// AERMOD.INP holds instead.
[[nodiscard]] std::string no_aermod_inp(const std::filesystem::path& folder, const std::string& shown,
                                        const std::string& prefix);

// A run whose list file ends in NORMAL TERMINATION and gives, for every
// dataset of every 1-hour POSTFILE line of the control file as it is now,
// its Dataset line and then its CRC-32 and size; every such dataset there
// with that size and CRC-32, none older than the control file, its included
// files and its POSTFILEs: the number of those datasets. Nothing when
// anything is missing, different or newer.
[[nodiscard]] std::optional<std::int64_t> up_to_date(const std::filesystem::path& folder, const std::string& cfname);

// AERMOD's listing of the run (<control file's stem>.OUT, else AERMOD.OUT),
// where it says that AERMOD did not finish: as new as every POSTFILE of
// `postfiles` or newer, and without "AERMOD Finishes Successfully" at its
// end (AERMOD ends with status 0 after fatal errors, its POSTFILEs empty or
// cut). Its name then; nothing otherwise.
[[nodiscard]] std::optional<std::string> unfinished_aermod(const std::filesystem::path& folder,
                                                           const std::string& cfname,
                                                           std::span<const std::filesystem::path> postfiles);

}  // namespace kestrel
