// How the pool manager grows the pool, trims it, removes the sessions it retired and reports the
// servers that no session serves any more.
#include <algorithm>
#include <exception>
#include <utility>

#include "comm/channel_table.h"
#include "comm/pending_session.h"
#include "comm/pool_control.h"
#include "comm/pool_manager.h"
#include "comm/server_state.h"
#include "comm/session_pool.h"
#include "comm/session_ranking.h"
#include "comm/sock_comm_client.h"
#include "comm/sock_comm_session.h"

namespace sondrel {
namespace {

bool IsRetired(const SockCommSession& session) {
  return session.serverState().state == Server_Retired;
}

void Retire(SockCommSession& session) {
  session.SetServerState(Server_Retired, true);
}

// The running identity of the session's server; all zero until the server has sent it.
ServerIdentity IdentityOf(const SockCommSession& session) {
  return session.runningDataObtained() ? session.serverRunningId() : ServerIdentity{};
}

std::vector<CommServerEntry> ByPriority(std::vector<CommServerEntry> servers) {
  std::stable_sort(servers.begin(), servers.end(),
                   [](const auto& a, const auto& b) { return a.priority < b.priority; });
  return servers;
}

}  // namespace

int64_t PoolManager::LiveSessions() {
  return client_.pool().Locked([](const SessionPool::Sessions& sessions) {
    return static_cast<int64_t>(
        std::count_if(sessions.begin(), sessions.end(),
                      [](const auto& session) { return !IsRetired(*session); }));
  });
}

void PoolManager::Grow() {
  const CommClientOptions options = client_.ActiveOptions();
  if (LiveSessions() >= options.maxServerConnections) {
    return;
  }
  std::vector<CommServerEntry> deferred;
  AddSessions(ByPriority(options.servers), &deferred);
  if (!deferred.empty()) {
    AddSessions(ByPriority(std::move(deferred)), nullptr);
  }
}

void PoolManager::AddSessions(const std::vector<CommServerEntry>& list,
                              std::vector<CommServerEntry>* deferred) {
  const CommClientOptions options = client_.ActiveOptions();
  int64_t live = LiveSessions();
  if (live >= options.maxServerConnections || stopping() ||
      (live >= options.minServerConnections && deferred == nullptr)) {
    return;
  }
  for (const CommServerEntry& entry : list) {
    if (deferred != nullptr) {
      const bool served = client_.pool().Locked([&](const SessionPool::Sessions& sessions) {
        return std::any_of(sessions.begin(), sessions.end(), [&](const auto& session) {
          return session->GetHost() == entry.address && session->useTls() == (entry.useSSL != 0);
        });
      });
      if (served) {
        if (options.acceptConnectSameServer) {
          deferred->push_back(entry);
        }
        continue;
      }
    }
    const SessionPtr session = StartSession(options, entry);
    if (session == nullptr) {
      return;
    }
    const bool keep = session->serverState().state < Server_Down &&
                      (live < options.minServerConnections || BeatsSomePoolSession(*session));
    if (!client_.pendingSession().Finish(session, keep)) {
      DiscardSession(session);
      return;
    }
    if (keep) {
      ++live;
      client_.control().firstPassDone.store(true);
    } else {
      DiscardSession(session);
    }
    if (live >= options.maxServerConnections || stopping()) {
      return;
    }
  }
}

PoolManager::SessionPtr PoolManager::StartSession(const CommClientOptions& options,
                                                  const CommServerEntry& entry) {
  const SessionPtr session = client_.CreatePoolSession(entry);
  session->SetHelloCallback(options.callbackContext, options.helloCallback);
  if (!client_.pendingSession().Begin(session)) {
    return nullptr;
  }
  try {
    session->Start();
    if (options.detectLatency && session->slowPingCount() == 1) {
      session->PingServer();
      if (session->slowPingCount() > 1) {
        session->SetServerState(Server_Down, true);
      }
    }
  } catch (const std::exception&) {
    // A session that could not be started is judged by its state like any other.
  }
  return session;
}

bool PoolManager::BeatsSomePoolSession(const SockCommSession& session) {
  const SessionRank candidate = RankOf(session);
  return client_.pool().Locked([&](const SessionPool::Sessions& sessions) {
    // With a minimum of 0 or below, a usable session still beats an empty pool.
    return sessions.empty() ||
           std::any_of(sessions.begin(), sessions.end(), [&](const auto& member) {
             const SessionRank rank = RankOf(*member);
             return candidate.state < rank.state ||
                    (candidate.state == rank.state && candidate.priority < rank.priority);
           });
  });
}

void PoolManager::ReconcileSessions(Reconcile mode) {
  if (stopping()) {
    return;
  }
  const CommClientOptions options = client_.ActiveOptions();
  if (client_.control().firstPassDone.load()) {
    client_.pool().Locked([](const SessionPool::Sessions& sessions) {
      for (const auto& session : sessions) {
        if (session->serverState().state == Server_Down) {
          Retire(*session);
        }
      }
    });
  }
  const auto total = static_cast<int64_t>(client_.pool().size());
  if (total == 0 || stopping()) {
    return;
  }
  if (mode != Reconcile::CleanUp) {
    const int64_t count =
        mode == Reconcile::CloseAll ? total : total - options.minServerConnections;
    if (count > 0 && options.acceptConnectSameServer) {
      RetireDuplicates(count);
    }
    if (count > 0) {
      RetireWorst(count);
    }
  }
  RemoveRetired(options);
}

void PoolManager::RetireDuplicates(int64_t count) {
  client_.pool().Locked([count](const SessionPool::Sessions& sessions) {
    int64_t retired = 0;
    std::vector<SessionPtr> duplicates;
    for (size_t a = 0; a < sessions.size(); ++a) {
      if (IsRetired(*sessions[a])) {
        ++retired;
        continue;
      }
      const CommServerEntry first = sessions[a]->serverEntry();
      for (size_t b = a + 1; b < sessions.size(); ++b) {
        const CommServerEntry later = sessions[b]->serverEntry();
        if (later.address == first.address && later.priority == first.priority &&
            sessions[b]->useTls() == sessions[a]->useTls() && !IsRetired(*sessions[b])) {
          duplicates.push_back(sessions[b]);
        }
      }
    }
    for (int64_t i = 0; i < count - retired && i < static_cast<int64_t>(duplicates.size()); ++i) {
      Retire(*duplicates[static_cast<size_t>(i)]);
    }
  });
}

void PoolManager::RetireWorst(int64_t count) {
  while (!stopping()) {
    const bool done = client_.pool().Locked([count](const SessionPool::Sessions& sessions) {
      const auto firstLive = std::find_if(sessions.begin(), sessions.end(),
                                          [](const auto& session) { return !IsRetired(*session); });
      if (firstLive == sessions.end()) {
        return true;
      }
      int64_t retired = 0;
      SessionPtr worst = *firstLive;
      for (const SessionPtr& session : sessions) {
        if (IsRetired(*session)) {
          ++retired;
        } else if (session != worst && !CompareSessions(*session, *worst)) {
          worst = session;
        }
      }
      if (retired < count) {
        Retire(*worst);
        ++retired;
      }
      return retired >= count;
    });
    if (done) {
      return;
    }
  }
}

void PoolManager::RemoveRetired(const CommClientOptions& options) {
  if (stopping()) {
    return;
  }
  const ChannelTable& channels = client_.channels();
  const SessionPool::Sessions removed = client_.pool().Locked([&](SessionPool::Sessions& sessions) {
    SessionPool::Sessions taken;
    for (auto it = sessions.begin(); it != sessions.end();) {
      const SockCommSession& session = **it;
      if (IsRetired(session) && !channels.IsBoundTo(&session) && !session.stopRequested()) {
        taken.push_back(std::move(*it));
        it = sessions.erase(it);
      } else {
        ++it;
      }
    }
    return taken;
  });
  std::vector<ServerIdentity> identities;
  for (const SessionPtr& session : removed) {
    const ServerIdentity identity = IdentityOf(*session);
    if (std::find(identities.begin(), identities.end(), identity) == identities.end()) {
      identities.push_back(identity);
    }
    DiscardSession(session);
  }
  for (const ServerIdentity& identity : identities) {
    ReportGone(options, identity);
  }
}

void PoolManager::ReportGone(const CommClientOptions& options, const ServerIdentity& identity) {
  const bool stillServed = client_.pool().Locked([&](const SessionPool::Sessions& sessions) {
    return std::any_of(sessions.begin(), sessions.end(),
                       [&](const auto& session) { return IdentityOf(*session) == identity; });
  });
  if (stillServed || options.serverGoneCallback == nullptr) {
    return;
  }
  if (!options.serverGoneCallback(options.serverGoneContext, &identity) &&
      std::find(pendingGoneServers_.begin(), pendingGoneServers_.end(), identity) ==
          pendingGoneServers_.end()) {
    pendingGoneServers_.push_back(identity);
  }
}

void PoolManager::RetryGoneServers() {
  const CommClientOptions options = client_.ActiveOptions();
  if (options.serverGoneCallback == nullptr) {
    return;
  }
  for (auto it = pendingGoneServers_.begin(); it != pendingGoneServers_.end();) {
    if (options.serverGoneCallback(options.serverGoneContext, &*it)) {
      it = pendingGoneServers_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace sondrel
