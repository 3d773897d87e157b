// The requests later starts of the program send to the running one over
// the single-instance socket (`varnoke --popup`), taken on the
// user-interface thread without ever waiting for a client.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace varnoke::shell {

class TInstanceRequests : public QObject {
  Q_OBJECT

 public:
  // listenFd: the single instance's listening socket, borrowed; it must
  // outlive this object. onPopup gets each popup request's activation
  // token (empty for none).
  TInstanceRequests(int listenFd, std::function<void(const std::string&)> onPopup);
  ~TInstanceRequests() override;

 private:
  class TClient;
  void Accept();
  void Finish(TClient* client);

  int listenFd_;
  std::function<void(const std::string&)> onPopup_;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::vector<std::unique_ptr<TClient>> clients_;
};

}  // namespace varnoke::shell
