#include "admin/pages/log/LogJoin.h"

#include <exception>
#include <optional>

namespace korvel::admin
{

LogJoin::LogJoin(Done done) : done_(std::move(done)) {}

void LogJoin::Join(std::shared_ptr<const LogText> held, LogText latest)
{
    // Shared, as a queued task must be copyable and a text cannot be copied.
    auto joined = std::make_shared<Joined>();
    joined->Held = std::move(held);
    worker_.Queue(
        [this, joined,
         latest = std::make_shared<LogText>(std::move(latest))](const LocalWorker::Deliver& deliver)
        {
            try
            {
                const std::optional<std::size_t> firstNew = FindNewLines(*joined->Held, *latest);
                joined->Cut = !firstNew;
                if (!firstNew)
                    joined->Text = std::move(*latest);
                else if ((joined->Added = latest->LineCount() - *firstNew) > 0)
                    joined->Text = joined->Held->Appended(*latest, *firstNew);
            }
            catch (const std::exception& error)
            {
                joined->Failure = QString::fromUtf8(error.what());
            }
            deliver([this, joined] { done_(*joined); });
        });
}

} // namespace korvel::admin
