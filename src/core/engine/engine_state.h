// The engine's state store and event stream, shared by reference with every operation class: the
// service loop and the worker pool, the configuration and where it is saved, the encoded lists of
// `status` and `listProjects`, the events for subscribers and the log. QSDaemonService owns one.
//
// Everything here runs on the service loop. An operation that awaits lets other requests run, so
// a reference into `config` taken before a co_await is looked up again after it.
#pragma once

#include "core/engine/encoded_list.h"
#include "core/models/persistence_service.h"
#include "core/models/project_configuration.h"
#include "core/models/server.h"
#include "core/platform/async_queue.h"
#include "core/protocol/event.h"

#include <asio/any_io_executor.hpp>
#include <asio/thread_pool.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace qs {

class QSEngineState {
public:
  static constexpr const char* logPrefix = "quaysided: ";

  // Loads the state from `persistence` unless `configuration` gives it (a fresh state when there
  // is none; a logged line and a fresh state when the file cannot be read). `log` receives the
  // engine's log lines; standard error when it is empty.
  QSEngineState(asio::any_io_executor executor, QSPersistenceService persistence,
                std::optional<QSProjectConfiguration> configuration, std::function<void(const std::string&)> log);

  // The project of `id`; nothing (or, from requireProject, a ProjectNotFound failure) when there is none.
  QSProject* project(const QSUUID& id);
  QSProject& requireProject(const QSUUID& id);

  // The engine's pattern after every change: save (a failure is logged and ignored), then publish.
  void save();
  void emit(QSEvent event);
  void emitProjectsChanged();
  void log(const std::string& line) const;

  // A weak handle on `part` of the engine, for work that outlives the request that began it (a
  // timer, a handler, a spawned restart): locked, it keeps the whole engine alive.
  template <class Part>
  std::weak_ptr<Part> weakHandle(Part& part) const {
    return std::shared_ptr<Part>(owner.lock(), &part);
  }

  asio::any_io_executor executor;
  asio::thread_pool workers{2};  // blocking work (tool runs, /proc scans), see runOffLoop
  QSPersistenceService persistence;
  QSProjectConfiguration config;
  // What the state load had to say when config.json could not be read; told to clients.
  std::optional<std::string> stateLoadWarning;
  QSAsyncQueue<QSEvent> events;
  // The encoded records of `status` and `listProjects`.
  QSEncodedList<QSProject> projectTexts;
  QSEncodedList<QSDatabase> databaseTexts;
  QSEncodedList<QSServer> serverTexts;
  // The engine that holds this state; set once it is made.
  std::weak_ptr<void> owner;

private:
  std::function<void(const std::string&)> log_;
};

}  // namespace qs
