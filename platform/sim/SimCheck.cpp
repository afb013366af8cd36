// SimCheck.cpp --- the invariants of a simulated volume: one owner per cluster, bitmap equals the runs.
#include <algorithm>
#include <cstdio>

#include "platform/sim/SimVolume.h"

namespace tarvo::platform {

namespace {
std::mutex g_hookMutex;
std::function<void(const std::string&)> g_hook;

// The file's VCN layout without its LCNs: (start of each real or virtual stretch, real?).
std::vector<std::pair<Vcn, bool>> Shape(const std::vector<SimRun>& runs) {
    std::vector<std::pair<Vcn, bool>> shape;
    Vcn previous = 0;
    for (const SimRun& run : runs) {
        bool real = run.lcn != kVirtualLcn;
        if (shape.empty() || shape.back().second != real) {
            shape.emplace_back(previous, real);
        }
        previous = run.nextVcn;
    }
    shape.emplace_back(previous, false);  // the end
    return shape;
}
}  // namespace

void SetSimInvariantFailureHook(std::function<void(const std::string&)> hook) {
    std::lock_guard lock(g_hookMutex);
    g_hook = std::move(hook);
}

void SimVolume::ReportViolation(const std::string& what) const {
    std::fprintf(stderr, "SIMULATED VOLUME INVARIANT VIOLATED (%s): %s\n", m_path.empty() ? "in memory" : m_path.c_str(),
                 what.c_str());
    std::lock_guard lock(g_hookMutex);
    if (g_hook) {
        g_hook(what);
    }
}

bool SimVolume::CheckMovedFile(uint32_t id, const std::vector<SimRun>& before, Lcn target, uint64_t moved,
                               std::string& report) const {
    const std::vector<SimRun>& runs = m_nodes[id].runs;
    bool ok = true;
    Vcn previous = 0;
    for (const SimRun& run : runs) {
        if (run.nextVcn <= previous) {
            report += "runs do not cover increasing VCNs\n";
            return false;
        }
        uint64_t length = run.nextVcn - previous;
        if (run.lcn != kVirtualLcn &&
            (run.lcn >= m_totalClusters || length > m_totalClusters - run.lcn || !m_bitmap.AllSet(run.lcn, length))) {
            report += "run at LCN " + std::to_string(run.lcn) + " is outside the volume or not allocated\n";
            ok = false;
        }
        previous = run.nextVcn;
    }
    if (Shape(runs) != Shape(before)) {
        report += "the file's VCN coverage changed\n";
        ok = false;
    }
    if (!m_bitmap.AllSet(target, moved)) {
        report += "target clusters are not allocated\n";
        ok = false;
    }
    return ok;
}

bool SimVolume::FullCheck(std::string& report) const {
    struct Owned {
        Lcn lcn;
        uint64_t length;
        uint32_t owner;
    };
    std::vector<Owned> owned;
    bool ok = true;
    size_t problems = 0;
    auto problem = [&](const std::string& text) {
        ok = false;
        if (++problems <= 20) {
            report += text + "\n";
        }
    };
    for (uint32_t id = 0; id < m_nodes.size(); ++id) {
        const SimNode& node = m_nodes[id];
        Vcn previous = 0;
        for (const SimRun& run : node.runs) {
            if (run.nextVcn <= previous) {
                problem("\"" + PathOfLocked(id) + "\": runs do not cover increasing VCNs");
                break;
            }
            uint64_t length = run.nextVcn - previous;
            if (run.lcn != kVirtualLcn) {
                if (run.lcn >= m_totalClusters || length > m_totalClusters - run.lcn) {
                    problem("\"" + PathOfLocked(id) + "\": a run lies outside the volume");
                } else {
                    owned.push_back({run.lcn, length, id});
                }
            } else if ((node.flags & (kSimCompressed | kSimSparse)) == 0) {
                problem("\"" + PathOfLocked(id) + "\": a virtual run in a file that is neither compressed nor sparse");
            }
            previous = run.nextVcn;
        }
        if ((node.flags & kSimCompressed) && node.VirtualLength() % 16 != 0) {
            problem("\"" + PathOfLocked(id) + "\": a compressed file that does not end on a 16-cluster unit");
        }
        if (node.parent != kSimNoNode && (node.parent >= id || !m_nodes[node.parent].IsDirectory())) {
            problem("\"" + PathOfLocked(id) + "\": its parent is not a directory made before it");
        }
    }
    std::sort(owned.begin(), owned.end(), [](const Owned& a, const Owned& b) { return a.lcn < b.lcn; });
    for (size_t i = 1; i < owned.size(); ++i) {
        const Owned& a = owned[i - 1];
        const Owned& b = owned[i];
        if (b.lcn < a.lcn + a.length) {
            problem("cluster " + std::to_string(b.lcn) + " is owned by both \"" + PathOfLocked(a.owner) + "\" and \"" +
                    PathOfLocked(b.owner) + "\"");
        }
    }
    SimBitmap expected;
    if (!expected.Resize(m_totalClusters)) {
        problem("not enough memory to rebuild the bitmap");
        return false;
    }
    for (const Owned& o : owned) {
        expected.Set(o.lcn, o.length);
    }
    if (!(expected == m_bitmap)) {
        for (Lcn lcn = 0; lcn < m_totalClusters && problems < 20; ++lcn) {
            if (expected.Test(lcn) != m_bitmap.Test(lcn)) {
                problem("cluster " + std::to_string(lcn) + (m_bitmap.Test(lcn) ? " is allocated but no file owns it"
                                                                              : " is owned but marked free"));
            }
        }
        ok = false;
    }
    if (m_fileSystem == SimFileSystem::Ntfs && m_ntfs.mftZoneEnd >= m_totalClusters) {
        problem("the MFT zone ends past the volume");
    }
    if (problems > 20) {
        report += std::to_string(problems - 20) + " more problems\n";
    }
    return ok;
}

bool SimVolume::CheckConsistency(std::string& report) {
    std::lock_guard lock(m_mutex);
    std::string found;
    bool ok = FullCheck(found);
    uint64_t files = 0;
    for (const SimNode& node : m_nodes) {
        files += (node.flags & (kSimDirectory | kSimMetadata)) == 0 ? 1 : 0;
    }
    report = found;
    report += (ok ? "consistent: " : "INCONSISTENT: ") + std::to_string(files) + " files, " +
              std::to_string(m_bitmap.CountSet()) + " of " + std::to_string(m_totalClusters) +
              " clusters allocated, " + std::to_string(m_moves) + " moves\n";
    if (!ok) {
        ReportViolation(found);
    }
    return ok;
}

}  // namespace tarvo::platform
