// What the parts of the tunnel service share: the folders, the system's services, the records and the listener.
#pragma once

#include "process/client_launcher.h"
#include "process/process_services.h"
#include "process/tunnel_client_control.h"
#include "service/service_types.h"
#include "service/tunnel_records.h"
#include "store/paths.h"
#include "store/program_approvals.h"
#include "store/program_folders.h"
#include "tunnel/network_watch.h"
#include "tunnel/probe_sockets.h"
#include "tunnel/tunnel_health_tracker.h"

namespace quorvane {

struct ServiceContext {
    // None of the services is owned; all must outlive the context.
    ServiceContext(ProgramFolders programFolders, ProcessServices& processServices, ClientLauncher& clientLauncher,
                   TunnelHealthTracker& tracker, ProbeSockets* probes, NetworkWatch* networkWatch)
        : folders(std::move(programFolders)), processes(processServices), launcher(clientLauncher), health(tracker),
          clients(processServices, paths::TunnelsDirForListing(folders.data)), probeSockets(probes),
          network(networkWatch), approvals(folders.data) {}
    ServiceContext(const ServiceContext&) = delete;
    ServiceContext& operator=(const ServiceContext&) = delete;

    ProgramFolders folders;
    ProcessServices& processes;
    ClientLauncher& launcher;
    TunnelHealthTracker& health;
    TunnelClientControl clients;
    ProbeSockets* probeSockets;
    NetworkWatch* network;
    ProgramApprovals approvals;
    TunnelRecords records;
    TunnelServiceListener silent;
    TunnelServiceListener* listener = &silent;
    bool clientStartedSinceListing = true; // the next pass lists every process
};

} // namespace quorvane
