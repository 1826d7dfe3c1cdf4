#include "backup/RecoveryStaging.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/Error.h"
#include "app/IniFile.h"
#include "catalog/DiscNames.h"
#include "catalog/FileDigest.h"
#include "platform/Platform.h"
#include "recovery/RecoveryData.h"

namespace torvinel {

namespace {

int64_t sectorRounded(int64_t bytes) { return (bytes + RecoveryBlockSize - 1) / RecoveryBlockSize * RecoveryBlockSize; }

// Every file below folder, by its name there ('/' between folders), in disc order.
std::vector<ProtectedFile> stagedFiles(const std::string& folder)
{
    std::vector<ProtectedFile> files;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (!it->is_regular_file())
            continue;
        const std::string name = std::filesystem::relative(it->path(), folder).generic_string();
        if (!sameDiscName(name, RecoveryFileName))
            files.push_back({name, static_cast<uint64_t>(it->file_size()), {}});
    }
    if (error)
        throw Error("Could not read " + folder);
    const auto leads = [](const ProtectedFile& file) {
        return file.name.starts_with(std::string(DiscIndexFolder) + "/") || sameDiscName(file.name, "status.ini");
    };
    std::ranges::sort(files, [&](const ProtectedFile& a, const ProtectedFile& b) {
        return leads(a) != leads(b) ? leads(a) : a.name < b.name;
    });
    return files;
}

} // namespace

int64_t recoveryReserve(int64_t room, int percent)
{
    if (percent <= 0 || room <= 0)
        return 0;
    // The recovery file for dataBlocks of data, with a name in its header for every 128 KiB
    // of it (an archive and its catalog for every 256 KiB); a disc of more files lowers its
    // share when it is planned (planRecoveryData).
    const auto fileBytes = [percent](uint64_t dataBlocks) {
        const std::vector<ProtectedFile> files(2 * (dataBlocks / 128 + 1), ProtectedFile{std::string(19, 'x'), 0, {}});
        const RecoveryShape shape = recoveryShape(dataBlocks, percent);
        return static_cast<int64_t>(recoveryFileBytes(files, dataBlocks, shape.parityBlocks(dataBlocks)));
    };
    auto dataBlocks = static_cast<uint64_t>(room / RecoveryBlockSize * (100 - std::min(percent, 50)) / 100);
    for (;;) {
        const int64_t over = static_cast<int64_t>(dataBlocks) * RecoveryBlockSize + fileBytes(dataBlocks) - room;
        if (over <= 0 || dataBlocks == 0)
            return room - static_cast<int64_t>(dataBlocks) * RecoveryBlockSize;
        dataBlocks -= std::min<uint64_t>(dataBlocks, static_cast<uint64_t>(over / RecoveryBlockSize + 1));
    }
}

std::optional<RecoveryPlan> planRecoveryData(const std::string& folder, int percent, int64_t roomLeft,
                                             const std::function<void(const std::string&)>& log)
{
    if (percent <= 0)
        return std::nullopt;
    RecoveryPlan plan;
    plan.files = stagedFiles(folder);
    std::vector<std::pair<std::string, std::string>> digests;
    for (const auto& status : platform::listFolder(folder, "status.ini"))
        digests = IniReadSection(platform::joinPath(folder, status.name), "MD5");
    uint64_t dataBlocks = 0;
    for (auto& file : plan.files) {
        std::optional<Md5Digest> listed;
        for (const auto& [name, hex] : digests)
            if (sameDiscName(name, file.name))
                listed = DigestFromHex(hex);
        file.md5 = listed ? *listed : FileDigest(platform::joinPath(folder, file.name));
        dataBlocks += file.blocks();
    }
    for (plan.share = std::min(percent, 50); plan.share >= 1; --plan.share) {
        const RecoveryShape shape = recoveryShape(dataBlocks, plan.share);
        plan.bytes = sectorRounded(
            static_cast<int64_t>(recoveryFileBytes(plan.files, dataBlocks, shape.parityBlocks(dataBlocks))));
        if (plan.bytes > roomLeft)
            continue;
        if (plan.share < percent && log)
            log("Recovery data: " + std::to_string(plan.share) + " % of the disc instead of " + std::to_string(percent)
                + " %, for the room left");
        return plan;
    }
    if (log)
        log("Recovery data: no room left on this disc; it is written without");
    return std::nullopt;
}

RecoveryWriter::RecoveryWriter(const std::string& folder, RecoveryPlan plan)
{
    const std::string target = platform::joinPath(folder, RecoveryFileName);
    uint64_t dataBlocks = 0;
    for (const auto& file : plan.files)
        dataBlocks += file.blocks();
    const uint64_t size =
        recoveryFileBytes(plan.files, dataBlocks, recoveryShape(dataBlocks, plan.share).parityBlocks(dataBlocks));
    // The burn meets the file in the folder before it is written.
    if (!std::ofstream(target, std::ios::binary | std::ios::trunc))
        throw Error("Could not write " + target);
    // The burn's image writer keeps one processor busy from its start; the parity takes the others.
    const unsigned threads = std::max(2u, std::thread::hardware_concurrency()) - 1;
    m_written = std::async(std::launch::async, [folder, target, threads, plan = std::move(plan)] {
                    writeRecoveryFile(folder, plan.files, plan.share, target, threads);
                }).share();
    // A burn that finds the writing failed fails itself; finish() then tells why.
    m_awaited.emplace(target, AwaitedFile{size, [written = m_written] {
                                              written.wait();
                                              try {
                                                  written.get();
                                                  return true;
                                              } catch (const std::exception&) {
                                                  return false;
                                              }
                                          }});
}

RecoveryWriter::~RecoveryWriter()
{
    if (m_written.valid())
        m_written.wait();
}

void RecoveryWriter::finish() { m_written.get(); }

} // namespace torvinel
