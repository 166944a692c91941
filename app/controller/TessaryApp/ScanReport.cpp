#include "TessaryApp/ScanReport.hpp"

#include "TessaryCore/Categories.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"
#include "TessaryCore/Serialization.hpp"

namespace tessary {

ScanReport ScanReport::build(const ScanResult& result) {
    const SummaryDTO summary = Serialization::summary(result);
    ScanReport report;
    if (Item* root = result.mainRoot()) {
        report.total = root->aggQta;
        report.cloud = root->aggCloud;
        report.local = root->aggLocal;
        report.docs = root->aggDocs;
        report.cloudDocs = root->aggDatalessDocs;
        report.unenum = root->aggUnenum;
        report.categories = Categories::breakdown(result, root);
        std::vector<NodeDTO> files = Serialization::topFiles(result, 1, false, root);
        if (!files.empty())
            report.biggestFile = std::move(files.front());
        std::vector<NodeDTO> dirs = Serialization::topDirs(result, 1, root);
        if (!dirs.empty())
            report.biggestDir = std::move(dirs.front());
    }
    report.quotaRemaining = summary.quotaRemaining;
    report.deadCount = summary.deadCount;
    report.deadQta = summary.deadQta;
    report.dumpTime = summary.dumpTime;
    return report;
}

} // namespace tessary
