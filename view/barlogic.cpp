// Placeholder: written with its issue.
