#include "app/views/domains_tab.h"

#include "app/viewmodels/app_view_model.h"
#include "app/views/view_style.h"
#include "core/protocol/daemon_command.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qs {
namespace {

QString runningText(bool running) { return running ? "running" : "stopped"; }

QString holders(const std::vector<ListeningProcess>& processes) {
  QStringList names;
  for (const auto& p : processes)
    names << QString("%1 (pid %2%3)").arg(QString::fromStdString(p.name)).arg(p.pid).arg(p.isRoot ? ", root" : "");
  return names.join(", ");
}

}  // namespace

QSDomainsTab::QSDomainsTab(QSAppViewModel& model, QWidget* parent)
    : QSProjectTab(model, parent),
      current_(new QLabel(this)),
      hostname_(new QLineEdit(this)),
      https_(new QCheckBox("Serve over HTTPS with a certificate from the local authority", this)),
      save_(new QPushButton("Save Domain", this)),
      remove_(new QPushButton("Remove Domain", this)),
      routingState_(new QLabel(this)),
      routing_(new QPushButton(this)),
      conflict_(new QLabel(this)) {
  hostname_->setPlaceholderText("myapp.test");
  current_->setTextFormat(Qt::RichText);
  current_->setOpenExternalLinks(true);
  auto* domainBox = new QGroupBox("Domain", this);
  auto* form = new QFormLayout(domainBox);
  form->addRow("Current:", current_);
  form->addRow("Name:", hostname_);
  form->addRow("", https_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(save_);
  buttons->addWidget(remove_);
  buttons->addStretch(1);
  form->addRow("", buttons);

  auto* routingBox = new QGroupBox(".test routing", this);
  auto* routingLayout = new QVBoxLayout(routingBox);
  routingState_->setWordWrap(true);
  conflict_->setWordWrap(true);
  conflict_->setStyleSheet("color: #b9770e;");
  routingLayout->addWidget(routingState_);
  routingLayout->addWidget(conflict_);
  auto* routingRow = new QHBoxLayout;
  routingRow->addWidget(routing_);
  routingRow->addStretch(1);
  routingLayout->addLayout(routingRow);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(domainBox);
  layout->addWidget(routingBox);
  layout->addWidget(messageLabel());
  layout->addStretch(1);

  connect(save_, &QPushButton::clicked, this, &QSDomainsTab::saveDomain);
  connect(remove_, &QPushButton::clicked, this, [this] {
    if (projectID()) model_.perform(cmd::RemoveDomain{*projectID()}, reportTo());
  });
  connect(routing_, &QPushButton::clicked, this, &QSDomainsTab::toggleRouting);
  connect(&model_, &QSAppViewModel::networkChanged, this, [this] { refresh(); });
}

void QSDomainsTab::refresh() {
  const QSProject* p = project();
  setEnabled(p != nullptr);
  const QSNetworkStatus& n = model_.network();
  if (p && p->domain) {
    QString url = model_.projectURL(*p);
    current_->setText(QString("<a href=\"%1\">%1</a> → port %2").arg(url).arg(p->domain->targetPort));
    if (!hostname_->hasFocus()) hostname_->setText(QString::fromStdString(p->domain->hostname));
    QSignalBlocker quiet(https_);
    https_->setChecked(p->domain->sslEnabled);
  } else {
    current_->setText("None — the project is reached at its port only.");
    if (p && !hostname_->hasFocus()) hostname_->setText(QString::fromStdString(p->name).toLower() + ".test");
  }
  remove_->setEnabled(p && p->domain);
  routingState_->setText(QString("Routing is %1. DNS %2 on port %3 · proxy %4%5.")
                             .arg(n.testRoutingEnabled ? "on: browsers reach .test names on ports 80 and 443"
                                                       : "off: .test names work with the proxy's port only",
                                  runningText(n.dnsRunning))
                             .arg(n.dnsPort)
                             .arg(runningText(n.proxyRunning), n.proxyTLSRunning ? " (with HTTPS)" : ""));
  routing_->setText(n.testRoutingEnabled ? "Disable Routing" : "Enable Routing…");
  bool conflict = n.testRoutingPortConflict || !n.conflictingProcesses.empty();
  QString who = holders(n.conflictingProcesses);
  conflict_->setText(conflict ? "Another program holds port 80 or 443" + (who.isEmpty() ? QString(".") : ": " + who + ".") +
                                    " Stop it, or Quayside's redirect can't take those ports."
                              : "");
  conflict_->setVisible(conflict);
}

void QSDomainsTab::saveDomain() {
  if (!projectID()) return;
  QString name = hostname_->text().trimmed();
  model_.perform(cmd::AddDomain{*projectID(), name.toStdString(), https_->isChecked()}, reportTo());
}

void QSDomainsTab::toggleRouting() {
  report(model_.network().testRoutingEnabled ? "Disabling .test routing…"
                                             : "Enabling .test routing (this asks for the administrator password)…",
         false);
  if (model_.network().testRoutingEnabled)
    model_.perform(cmd::DisableTestRouting{}, reportTo());
  else
    model_.perform(cmd::EnableTestRouting{}, reportTo());
}

}  // namespace qs
