// What tests and fuzz targets see of a FetchSession beyond its interfaces: the words of its
// last failure, its listing and source, the files of the download in transfer, and a
// catalogue put in place without a listing.
#pragma once

#include <string>
#include <vector>

#include "fetch_session.h"

namespace camfetch {

struct FetchSessionPeer {
    // The items as a listing would leave them, without rows in the view.
    static void Stage(FetchSession& session, std::vector<CatalogueItem> items) {
        session.catalogue_ = std::move(items);
    }
    // Empty until something fails; then the last failure's reason.
    static const std::string& Failure(const FetchSession& session) { return session.failure_; }
    static bool ListingActive(const FetchSession& session) { return session.listingActive_; }
    static int StorageSource(const FetchSession& session) { return session.storageSource_; }
    static const std::string& OutputPath(const FetchSession& session) {
        return session.outputPath_;
    }
    static const std::string& PartialPath(const FetchSession& session) {
        return session.partialPath_;
    }
    static bool OutputOpen(const FetchSession& session) { return session.outputOpen_; }
};

}  // namespace camfetch
