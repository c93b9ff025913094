#include "admin/common/CommandFocus.h"

#include "admin/common/BackgroundRunner.h"

namespace korvel::admin
{

void CommandFocus::WatchBeforePages(BackgroundRunner& runner)
{
    QObject::connect(&runner, &BackgroundRunner::commandRunningChanged, this,
                     [this](bool running)
                     {
                         if (running)
                             had_ = window_.focusWidget();
                     });
}

void CommandFocus::WatchAfterPages(BackgroundRunner& runner)
{
    QObject::disconnect(afterPages_);
    afterPages_ = QObject::connect(&runner, &BackgroundRunner::commandRunningChanged, this,
                                   [this](bool running)
                                   {
                                       if (running)
                                       {
                                           movedTo_ =
                                               had_ && !had_->isEnabled() ? window_.focusWidget() : nullptr;
                                           return;
                                       }
                                       // Where the command asked, or back where Qt left it: a command that
                                       // moved the focus itself keeps its choice.
                                       if (next_ && next_->isEnabled() && next_->isVisible())
                                           next_->setFocus();
                                       else if (had_ && movedTo_ && window_.focusWidget() == movedTo_ &&
                                                had_->isEnabled() && had_->isVisible())
                                           had_->setFocus();
                                       next_ = nullptr;
                                       had_ = nullptr;
                                       movedTo_ = nullptr;
                                   });
}

} // namespace korvel::admin
