// Stand-ins for the runtime's file, temporary-name and printer services.
#pragma once
