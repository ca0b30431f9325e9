// Placeholder: written with its issue.
#pragma once
