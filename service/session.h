// One HTTP connection of korvalux-service: wait for a request (idle time-out),
// read it (read time-out) through a RequestFramer, parse it with Beast, answer
// it, possibly after holding it for fresher rates (HeldAnswers), and go round
// again while the client keeps the connection alive. The Listener starts one
// per accepted socket; the session then owns itself until the connection ends.
#pragma once

#include "service/held_answers.h"
#include "service/idle_watch.h"
#include "service/rate_store.h"
#include "service/server.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/strand.hpp>

#include <memory>

namespace korvalux::service
{

// A connection served by the only serving thread: on the io_context's own
// executor, which costs no copy of a type-erased one on every step.
using PlainSocket = boost::asio::basic_stream_socket<boost::asio::ip::tcp,
    boost::asio::io_context::executor_type>;
// A connection among several serving threads, on a strand of its own.
using StrandSocket = boost::asio::basic_stream_socket<boost::asio::ip::tcp,
    boost::asio::strand<boost::asio::io_context::executor_type>>;

// What every session of a server shares. store, options and held (null unless
// answers may be held for fresh rates) outlive the sessions; watch is null
// unless leaving when idle.
struct SessionShared {
    RateStore &store;
    const ServerOptions &options;
    std::shared_ptr<IdleWatch> watch;
    HeldAnswers *held = nullptr;
};

void startSession(PlainSocket socket, const SessionShared &shared);
void startSession(StrandSocket socket, const SessionShared &shared);

} // namespace korvalux::service
