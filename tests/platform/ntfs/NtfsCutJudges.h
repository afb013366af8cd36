// NtfsCutJudges.h --- what the independent tools must find on a volume cut by power loss, before our
// program opens it again (and so before it repairs anything from its intent record).
//
// A user may take such a volume to another machine, so the medium alone must
// hold every file's content. Allowed there: clusters marked in $Bitmap that no
// file owns (our next open reclaims them), the dirty flag, and, when the cut
// tore the sectors of a write, an MFT record whose write was torn (the library
// then refuses the record, or the whole volume when it is $Volume's record or
// its $MFTMirr copy; our next open puts it back from its pre-image).
#pragma once

#include <fstream>
#include <iterator>

#include "tests/platform/ntfs/NtfsTestSupport.h"

namespace tarvo::platform::testing {

// Whether the cut tore the sectors of its writes (PowerLossDevice's Tear mode).
enum class TornWrites { No, Yes };

// True when the library's messages show that it refused a record torn by a cut.
inline bool ReportsTornRecord(const std::string& messages) {
    return messages.find("Incomplete multi-sector transfer") != std::string::npos ||
           messages.find("$MFTMirr does not match $MFT") != std::string::npos;
}

// Every file of the manifest reads back through ntfscat with its recorded
// content; with torn writes a file may instead be refused for a torn record,
// never read back as other bytes.
inline ::testing::AssertionResult ContentIntactBeforeReopen(const std::string& image,
                                                            const std::vector<ManifestEntry>& manifest,
                                                            TornWrites torn) {
    const std::string messagesPath = image + ".ntfscat-messages";
    int refusedAsTorn = 0;
    for (const ManifestEntry& e : manifest) {
        std::string slashPath = e.path;
        std::replace(slashPath.begin(), slashPath.end(), '\\', '/');
        const std::string command = "ntfscat -f '" + image + "' '" + slashPath + "' 2>'" + messagesPath + "'";
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return ::testing::AssertionFailure() << "cannot run ntfscat";
        }
        Sha256 sha;
        char buffer[65536];
        size_t n;
        uint64_t size = 0;
        while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
            sha.Update(buffer, n);
            size += n;
        }
        const bool readWhole = pclose(pipe) == 0;
        std::ifstream in(messagesPath);
        const std::string messages{std::istreambuf_iterator<char>(in), {}};
        if (readWhole && sha.HexDigest() == e.sha256) {
            continue;
        }
        if (!readWhole && torn == TornWrites::Yes && ReportsTornRecord(messages)) {
            ++refusedAsTorn;
            continue;
        }
        std::remove(messagesPath.c_str());
        return ::testing::AssertionFailure()
               << e.path << " before our reopen: "
               << (readWhole ? "reads back other bytes (" + std::to_string(size) + " bytes)" : "cannot be read")
               << "\n" << messages;
    }
    std::remove(messagesPath.c_str());
    return ::testing::AssertionSuccess() << refusedAsTorn << " files refused for a torn record";
}

// ntfsresize -i -f -v (which lists every accounting mismatch) finds no cluster
// used twice, none outside the volume and none owned but free: at most leaked
// ones. With torn writes it may also refuse the volume for a torn record.
inline ::testing::AssertionResult OnlyLeakedClustersBeforeReopen(const std::string& image, TornWrites torn) {
    if (FindProgram("ntfsresize").empty()) {
        return ::testing::AssertionSuccess() << "ntfsresize not installed";
    }
    std::string output;
    const int rc = RunCapturing({"ntfsresize", "-i", "-f", "-v", image}, output);
    for (const char* fault : {"missing cluster in $Bitmap", "referenced multiple times", "referenced outside"}) {
        if (output.find(fault) != std::string::npos) {
            return ::testing::AssertionFailure() << "ntfsresize before our reopen: " << fault << "\n" << output;
        }
    }
    if (rc == 0 || output.find("cluster accounting mismatches") != std::string::npos) {
        return ::testing::AssertionSuccess();  // clean, or only extra (leaked) clusters
    }
    if (torn == TornWrites::Yes && ReportsTornRecord(output)) {
        return ::testing::AssertionSuccess() << "refused for a torn record";
    }
    return ::testing::AssertionFailure() << "ntfsresize before our reopen failed (" << rc << "):\n" << output;
}

}  // namespace tarvo::platform::testing
