#include "standin.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "files.h"

namespace pingwell::testing {
namespace {

std::string lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string fromHex(const std::string& hex) {
  auto nibble = [&hex](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw std::runtime_error("stand-in record: bad hex text: " + hex.substr(0, 40));
  };
  if (hex.size() % 2 != 0) throw std::runtime_error("stand-in record: odd hex length");
  std::string out;
  out.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    out.push_back(static_cast<char>(nibble(hex[i]) * 16 + nibble(hex[i + 1])));
  }
  return out;
}

RecordedRequest fromRecord(const nlohmann::json& j) {
  RecordedRequest r;
  r.method = j.at("method").get<std::string>();
  r.path = j.at("path").get<std::string>();
  r.connection = j.at("connection").get<int>();
  for (const auto& h : j.at("headers")) {
    r.headers.emplace_back(h.at(0).get<std::string>(), h.at(1).get<std::string>());
  }
  r.body = fromHex(j.at("body_hex").get<std::string>());
  r.replyTs = j.value("ts", std::string());
  r.channelId = j.value("channel_id", std::string());
  r.error = j.value("error", std::string());
  r.fileId = j.value("file_id", std::string());
  r.uploadUrl = j.value("upload_url", std::string());
  if (j.contains("upload_bytes")) {
    r.upload = RecordedRequest::Upload{
        j.at("upload_bytes").get<std::size_t>(), j.at("upload_sha256").get<std::string>(),
        j.at("token_seen").get<bool>(), j.at("length_ok").get<bool>()};
  }
  for (const auto& p : j.at("params")) {
    r.params.emplace_back(fromHex(p.at(0).get<std::string>()), fromHex(p.at(1).get<std::string>()));
  }
  return r;
}

}  // namespace

std::string RecordedRequest::param(const std::string& name) const {
  for (const auto& [key, value] : params) {
    if (key == name) return value;
  }
  return {};
}

std::size_t RecordedRequest::count(const std::string& name) const {
  std::size_t n = 0;
  for (const auto& p : params) n += p.first == name ? 1 : 0;
  return n;
}

std::string RecordedRequest::header(const std::string& name) const {
  const std::string wanted = lower(name);
  for (const auto& [key, value] : headers) {
    if (lower(key) == wanted) return value;
  }
  return {};
}

StandIn::StandIn() {
  const char* dir = std::getenv("PINGWELL_STANDIN_DIR");
  if (dir != nullptr) dir_ = dir;
}

StandIn::StandIn(std::string dir) : dir_(std::move(dir)) {}

void StandIn::setMode(const std::string& modes) {
  // Written aside and renamed, so the stand-in never reads half a list.
  const std::string tmp = dir() + "/.mode.writing";
  writeBytes(tmp, modes + "\n");
  if (std::rename(tmp.c_str(), (dir() + "/mode").c_str()) != 0) {
    throw std::runtime_error("cannot set stand-in mode: " + std::string(std::strerror(errno)));
  }
}

void StandIn::reset(const std::string& modes) {
  setMode(modes);
  writeBytes(dir() + "/requests.jsonl", "");
}

std::vector<RecordedRequest> StandIn::requests() const {
  const std::string text = readBytes(dir() + "/requests.jsonl");
  std::vector<RecordedRequest> out;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) break;  // a line still being written
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    out.push_back(fromRecord(nlohmann::json::parse(line)));
  }
  return out;
}

int StandIn::connections() const {
  const std::string text = readBytes(dir() + "/connections");
  if (text.empty()) return 0;
  return std::stoi(text);
}

std::vector<ScheduledMessage> StandIn::scheduled() const {
  const std::string text = readBytes(dir() + "/scheduled.json");
  std::vector<ScheduledMessage> out;
  if (text.empty()) return out;
  for (const auto& j : nlohmann::json::parse(text)) {
    ScheduledMessage m;
    m.id = j.at("id").get<std::string>();
    m.channel = j.at("channel").get<std::string>();
    m.channelId = j.at("channel_id").get<std::string>();
    m.postAt = j.at("post_at").get<long long>();
    m.text = j.at("text").get<std::string>();
    if (j.at("thread_ts").is_string()) m.threadTs = j.at("thread_ts").get<std::string>();
    m.replyBroadcast = j.at("reply_broadcast").get<bool>();
    m.state = j.at("state").get<std::string>();
    out.push_back(std::move(m));
  }
  return out;
}

void StandIn::addUser(const std::string& address, const std::string& id) const {
  std::ofstream(dir() + "/users", std::ios::app) << address << ' ' << id << '\n';
}

std::string StandIn::uploaded(const std::string& fileId) const {
  if (fileId.empty() || fileId.find('/') != std::string::npos) return {};
  return readBytes(dir() + "/uploads/" + fileId + ".jpg");
}

const std::string& StandIn::dir() const {
  if (dir_.empty()) {
    throw std::runtime_error(
        "PINGWELL_STANDIN_DIR is not set: run this test through tools/sandbox");
  }
  return dir_;
}

bool insideSandbox() {
  const char* dir = std::getenv("PINGWELL_STANDIN_DIR");
  if (dir == nullptr || *dir == '\0') return false;
  std::istringstream hosts(readBytes("/etc/hosts"));
  std::string line;
  while (std::getline(hosts, line)) {
    std::istringstream fields(line);
    std::string address, name;
    fields >> address;
    if (address.rfind("127.", 0) != 0) continue;
    while (fields >> name) {
      if (name == "slack.com") return true;
    }
  }
  return false;
}

StderrCapture::StderrCapture() : file_(std::tmpfile()) {
  if (!file_) throw std::runtime_error("StderrCapture: no temporary file");
  std::fflush(stderr);
  std::cerr.flush();
  std::clog.flush();
  saved_ = ::dup(STDERR_FILENO);
  if (saved_ < 0 || ::dup2(::fileno(file_.get()), STDERR_FILENO) < 0) {
    if (saved_ >= 0) ::close(saved_);
    saved_ = -1;
    throw std::runtime_error("StderrCapture: cannot redirect standard error");
  }
}

StderrCapture::~StderrCapture() {
  try {
    stop();
  } catch (...) {
  }
}

std::string StderrCapture::text() {
  std::fflush(stderr);
  std::cerr.flush();
  std::clog.flush();
  const int fd = ::fileno(file_.get());
  std::string out;
  char buffer[4096];
  off_t offset = 0;
  for (;;) {
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
    offset += n;
  }
  return out;
}

std::string StderrCapture::stop() {
  std::string captured = text();
  if (saved_ >= 0) {
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    saved_ = -1;
  }
  return captured;
}

}  // namespace pingwell::testing
